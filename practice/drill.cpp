#include "practice/drill.h"

#include "bank/bankerror.h"
#include "bank/bankfile.h"
#include "bank/connection.h"
#include "bank/query.h"
#include "bank/store.h"
#include "bank/transaction.h"
#include "practice/random.h"

#include <algorithm>
#include <exception>
#include <optional>

namespace practice {

namespace {

const QString kAnswerPrefix = QStringLiteral("正确答案是:");
const QString kFirstQuestion = QStringLiteral("已经是第一题了");
const QString kLastQuestion = QStringLiteral("已经是最后一题了");
const QString kTestDone = QStringLiteral("检测完毕");
const QString kNothingPractised = QStringLiteral("还没有练习过");
const QString kRightAnswer = QStringLiteral("牛！");
const QString kWrongAnswerPrefix = QStringLiteral("应选");

} // namespace

QString studyPageText(const QString &tm, const QString &da)
{
    // The study page gets its text in one piece: a long question is laid out once.
    const bool endsLine = tm.endsWith(QLatin1Char('\n')) || tm.endsWith(QLatin1Char('\r'));
    return tm % (tm.isEmpty() || endsLine ? QString() : QStringLiteral("\n")) % kAnswerPrefix % da;
}

void Drill::showtm(int atype)
{
    if (atype != StudyPage && atype != TestPage)
        return;
    const Page page = Page(atype);
    // An empty set shows nothing, rather than whatever an earlier set left in slot 0.
    const bool empty = m_set.tmcount <= 0;
    const fdt &question = m_set.tmlist[size_t(empty ? 0 : m_set.tmindex)];
    QString text;
    if (!empty && page == StudyPage) {
        text = studyPageText(question.tm, question.da);
    } else if (!empty) {
        text = question.tm;
    }
    m_frontend.setQuestionText(page, text);
    m_frontend.setProgressText(
        page, QStringLiteral("%1/%2").arg(empty ? 0 : m_set.tmindex + 1).arg(m_set.tmcount));
    if (page == TestPage)
        m_set.tmanswer = empty ? QString() : question.da;
}

void Drill::adopt(const std::array<fdt, kSetCapacity> &taken, int count)
{
    std::copy_n(taken.begin(), count, m_set.tmlist.begin());
    m_set.tmcount = count;
    m_set.tmindex = 0;
    showtm(StudyPage);
    m_frontend.showPage(StudyPage);
}

void Drill::newPractice(bank::Query &query)
{
    // The set is taken and marked inside one write transaction begun before the
    // query opens: a second copy of the program waits and then takes the questions
    // after these, and a crash leaves the whole set marked or none of it.
    std::optional<bank::WriteTransaction> transaction;
    if (bank::Connection *connection = query.connection())
        transaction.emplace(*connection);
    OpenTableWhere(query, bank::kQuestionTable, QStringLiteral("xx=0"));
    std::array<fdt, kSetCapacity> taken;
    int count = 0;
    std::exception_ptr failure;
    try {
        query.first();
        while (!query.atEnd()) {
            fdt question{query.fieldAsInteger(QStringLiteral("id")),
                         query.fieldAsString(QStringLiteral("tm")),
                         query.fieldAsString(QStringLiteral("da"))};
            query.edit();
            query.setFieldValue(QStringLiteral("xx"), 1);
            // A row that no longer needs its mark is not ours to hand out.
            if (query.post())
                taken[size_t(count++)] = std::move(question);
            if (count == kSetCapacity)
                break;
            query.next();
        }
        // A short set while the table holds more new questions means an index lost them.
        if (count < kSetCapacity && query.unindexedMatchCount() > 0)
            throw bank::damagedBank(query.connection()->database().path(),
                                    QStringLiteral("索引里缺了还没练过的题"));
    } catch (...) {
        failure = std::current_exception();
    }
    if (transaction) {
        // Questions already marked stay reachable: they are committed and become the set.
        if (!transaction->isOpen()) {
            count = 0;
        } else {
            try {
                transaction->commit();
            } catch (...) {
                count = 0;
                if (!failure)
                    failure = std::current_exception();
            }
        }
    }
    if (failure) {
        if (count > 0)
            adopt(taken, count);
        std::rethrow_exception(failure);
    }
    adopt(taken, count);
}

void Drill::review(bank::Query &query)
{
    OpenTableWhere(query, bank::kQuestionTable, QStringLiteral("xx=1"));
    const int rows = query.recordCount();
    if (rows == 0) {
        m_frontend.showInfo(kNothingPractised);
        return;
    }
    drawFrom(query, rows);
}

void Drill::randomPractice(bank::Query &query)
{
    OpenTable(query, bank::kQuestionTable);
    drawFrom(query, query.recordCount());
}

void Drill::drawFrom(bank::Query &query, int rows)
{
    // Built aside and adopted only when whole, so a failed draw changes nothing.
    std::array<fdt, kSetCapacity> taken;
    const int count = std::min(kSetCapacity, rows);
    for (int i = 0; i < count; ++i) {
        int recordNumber = 0;
        do {
            recordNumber = randomBelow(rows) + 1;
        } while (std::any_of(taken.begin(), taken.begin() + i,
                             [recordNumber](const fdt &q) { return q.id == recordNumber; }));
        query.setRecordNumber(recordNumber);
        taken[size_t(i)] = fdt{recordNumber, query.fieldAsString(QStringLiteral("tm")),
                               query.fieldAsString(QStringLiteral("da"))};
    }
    adopt(taken, count);
}

void Drill::previous(int atype)
{
    if (m_set.tmindex <= 0) {
        m_frontend.showInfo(kFirstQuestion);
        return;
    }
    --m_set.tmindex;
    showtm(atype);
}

void Drill::next(int atype)
{
    if (m_set.tmindex < m_set.tmcount - 1) {
        ++m_set.tmindex;
        showtm(atype);
    } else {
        m_frontend.showInfo(kLastQuestion);
    }
}

void Drill::startTest()
{
    m_frontend.showPage(TestPage);
    m_set.tmindex = 0;
    showtm(TestPage);
}

void Drill::backToStudy()
{
    m_frontend.showPage(StudyPage);
    m_set.tmindex = 0;
    showtm(StudyPage);
}

void Drill::answer(const QString &choice)
{
    // With no question on the test page there is nothing to check.
    if (m_set.tmcount <= 0)
        return;
    if (choice != m_set.tmanswer) {
        m_frontend.setFeedbackText(kWrongAnswerPrefix + m_set.tmanswer);
        return;
    }
    m_frontend.setFeedbackText(kRightAnswer);
    if (m_set.tmindex < m_set.tmcount - 1) {
        ++m_set.tmindex;
        showtm(TestPage);
    } else {
        m_frontend.showInfo(kTestDone);
    }
}

} // namespace practice

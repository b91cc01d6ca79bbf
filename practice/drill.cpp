#include "practice/drill.h"

#include "bank/query.h"
#include "bank/store.h"
#include "practice/random.h"

#include <algorithm>

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

void Drill::showtm(int atype)
{
    if (atype != StudyPage && atype != TestPage)
        return;
    const Page page = Page(atype);
    // An empty set shows nothing, rather than whatever an earlier set left in slot 0.
    const bool empty = m_set.tmcount <= 0;
    const fdt &question = m_set.tmlist[size_t(empty ? 0 : m_set.tmindex)];
    m_frontend.setQuestionText(page, empty ? QString() : question.tm);
    m_frontend.setProgressText(
        page, QStringLiteral("%1/%2").arg(empty ? 0 : m_set.tmindex + 1).arg(m_set.tmcount));
    if (page == StudyPage) {
        if (!empty)
            m_frontend.appendStudyLine(kAnswerPrefix + question.da);
    } else {
        m_set.tmanswer = empty ? QString() : question.da;
    }
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
    OpenTableWhere(query, bank::kQuestionTable, QStringLiteral("xx=0"));
    std::array<fdt, kSetCapacity> taken;
    int count = 0;
    try {
        query.first();
        while (!query.atEnd()) {
            fdt question{query.fieldAsInteger(QStringLiteral("id")),
                         query.fieldAsString(QStringLiteral("tm")),
                         query.fieldAsString(QStringLiteral("da"))};
            query.edit();
            query.setFieldValue(QStringLiteral("xx"), 1);
            query.post();
            // Only a question whose mark reached the file joins the set.
            taken[size_t(count++)] = std::move(question);
            if (count == kSetCapacity)
                break;
            query.next();
        }
    } catch (...) {
        // Questions already marked practised must stay reachable, so they become the set.
        if (count > 0)
            adopt(taken, count);
        throw;
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

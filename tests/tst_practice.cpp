// The practice logic through a front end that records what a window would
// show; tst_mainwindow checks that the window's buttons reach it.
#include "bank/bankerror.h"
#include "bank/connection.h"
#include "bank/query.h"
#include "bank/store.h"
#include "practice/drill.h"
#include "practice/frontend.h"
#include "practice/random.h"
#include "tests/support/bankfixture.h"

#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <optional>
#include <utility>

using namespace testsupport;
using practice::StudyPage;
using practice::TestPage;

namespace {

// What each page shows now, and every notice since the last look.
class RecordingFrontend : public practice::Frontend
{
public:
    void setQuestionText(practice::Page page, const QString &text) override
    {
        question[page] = text;
    }
    void setProgressText(practice::Page page, const QString &text) override
    {
        progress[page] = text;
    }
    void setFeedbackText(const QString &text) override { feedback = text; }
    void showPage(practice::Page shown) override { page = shown; }
    void showInfo(const QString &text) override { infos.append(text); }

    QStringList takeInfos() { return std::exchange(infos, {}); }

    QString question[3];
    QString progress[3];
    QString feedback;
    practice::Page page = practice::BannerPage;
    QStringList infos;
};

QList<int> range(int from, int to)
{
    QList<int> values;
    for (int i = from; i <= to; ++i)
        values.append(i);
    return values;
}

QList<qint64> rowIds(int from, int to)
{
    QList<qint64> values;
    for (int i = from; i <= to; ++i)
        values.append(i);
    return values;
}

QString studied(int id)
{
    return questionFor(id) + "\n正确答案是:" + answerFor(id);
}

} // namespace

class TestPractice : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void newPractice_takesTheNextHundredAndMarksExactlyThose();
    void newPractice_smallSetTakesEveryNewQuestion();
    void review_withNothingPractisedOnlyTellsSo();
    void review_drawsEveryPractisedQuestionOnce();
    void randomPractice_onAnEmptyTableShowsAnEmptySet();
    void draws_areWithoutRepetitionAndReachEveryRow();
    void draws_repeatForTheSameSeed();
    void navigation_refusesAtBothEnds();
    void navigation_refusesBothWaysInAnEmptySet();
    void test_rightWrongAndLastQuestion();
    void test_oddAnswersNeverMatch();
    void test_startsAtTheFirstQuestionAndStudyReturnsToIt();
    void feedback_staysUntilTheNextAnswer();
    void failedMode_leavesTheSetAsItWas();
    void failedWrite_keepsTheQuestionsAlreadyMarked();
    void failedFirstWrite_leavesTheSetAsItWas();
    void studyPage_putsTheAnswerOnALineOfItsOwn_data();
    void studyPage_putsTheAnswerOnALineOfItsOwn();
    void emptySet_showsNothingStale();

private:
    void openBank(int count, const std::function<bool(int)> &practised = {});
    void connect();
    // Runs a mode as its button does; a bank error is what the window would show.
    QString run(void (practice::Drill::*mode)(bank::Query &));
    QList<int> setIds() const;
    QStringList setQuestions() const;
    QString study() const { return m_front.question[StudyPage]; }
    QString test() const { return m_front.question[TestPage]; }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_bank;
    bank::Connection m_connection;
    bank::Query m_query;
    RecordingFrontend m_front;
    std::optional<practice::Drill> m_drill;
};

void TestPractice::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_bank = m_dir->filePath("kxst.db");
    m_front = RecordingFrontend();
    m_drill.emplace(m_front);
    practice::seedRandom(20261209);
}

void TestPractice::cleanup()
{
    QCOMPARE(m_front.takeInfos(), QStringList()); // every notice a test caused was checked
    m_query.close();
    m_connection.close();
}

void TestPractice::openBank(int count, const std::function<bool(int)> &practised)
{
    makeBank(m_bank, count, practised);
    connect();
}

void TestPractice::connect()
{
    QVERIFY(ConnectAccessDb(m_connection, m_bank, bank::kBankPassword));
    m_query.setConnection(&m_connection);
}

QString TestPractice::run(void (practice::Drill::*mode)(bank::Query &))
{
    try {
        ((*m_drill).*mode)(m_query);
    } catch (const bank::BankError &error) {
        return error.message();
    }
    return QString();
}

QList<int> TestPractice::setIds() const
{
    QList<int> ids;
    const auto &set = m_drill->set();
    for (int i = 0; i < set.tmcount; ++i)
        ids.append(set.tmlist[size_t(i)].id);
    return ids;
}

QStringList TestPractice::setQuestions() const
{
    QStringList questions;
    const auto &set = m_drill->set();
    for (int i = 0; i < set.tmcount; ++i)
        questions.append(set.tmlist[size_t(i)].tm);
    return questions;
}

void TestPractice::newPractice_takesTheNextHundredAndMarksExactlyThose()
{
    openBank(250);
    QCOMPARE(run(&practice::Drill::newPractice), QString());
    QCOMPARE(m_front.page, StudyPage);
    QCOMPARE(setIds(), range(1, 100));
    QCOMPARE(m_front.progress[StudyPage], QStringLiteral("1/100"));
    QCOMPARE(study(), studied(1));
    QCOMPARE(practisedIds(m_bank), rowIds(1, 100));

    run(&practice::Drill::newPractice);
    QCOMPARE(setIds(), range(101, 200));
    QCOMPARE(study(), studied(101));

    run(&practice::Drill::newPractice);
    QCOMPARE(setIds(), range(201, 250));
    QCOMPARE(m_front.progress[StudyPage], QStringLiteral("1/50"));
    QCOMPARE(practisedIds(m_bank).size(), 250);

    // Nothing new is left: an empty set, and not a byte written.
    const QByteArray before = fileHash(m_bank);
    m_front.page = practice::BannerPage;
    QCOMPARE(run(&practice::Drill::newPractice), QString());
    QCOMPARE(m_drill->set().tmcount, 0);
    QCOMPARE(m_front.progress[StudyPage], QStringLiteral("0/0"));
    QCOMPARE(study(), QString());
    QCOMPARE(m_front.page, StudyPage);
    QCOMPARE(fileHash(m_bank), before);
}

void TestPractice::newPractice_smallSetTakesEveryNewQuestion()
{
    openBank(10, [](int i) { return i < 3; });
    run(&practice::Drill::newPractice);
    QCOMPARE(setIds(), range(4, 10));
    QCOMPARE(m_front.progress[StudyPage], QStringLiteral("1/7"));
    QCOMPARE(xxValues(m_bank), QList<qint64>(10, 1));
}

void TestPractice::review_withNothingPractisedOnlyTellsSo()
{
    openBank(5);
    QCOMPARE(run(&practice::Drill::review), QString());
    QCOMPARE(m_front.takeInfos(), QStringList{"还没有练习过"});
    QCOMPARE(m_front.page, practice::BannerPage);
    QCOMPARE(m_drill->set().tmcount, 0);

    // With a set on the study page the notice leaves it there, untouched.
    run(&practice::Drill::randomPractice);
    const QStringList questions = setQuestions();
    m_drill->next(StudyPage);
    run(&practice::Drill::review);
    QCOMPARE(m_front.takeInfos(), QStringList{"还没有练习过"});
    QCOMPARE(m_front.page, StudyPage);
    QCOMPARE(setQuestions(), questions);
    QCOMPARE(m_front.progress[StudyPage], QStringLiteral("2/5"));
}

void TestPractice::review_drawsEveryPractisedQuestionOnce()
{
    openBank(20, [](int i) { return i == 2 || i == 9 || i == 15; });
    const QByteArray before = fileHash(m_bank);
    run(&practice::Drill::review);
    QCOMPARE(m_front.progress[StudyPage], QStringLiteral("1/3"));
    QStringList questions = setQuestions();
    questions.sort();
    QStringList expected = {questionFor(3), questionFor(10), questionFor(16)};
    expected.sort();
    QCOMPARE(questions, expected);
    QList<int> ids = setIds();
    std::sort(ids.begin(), ids.end());
    QCOMPARE(ids, (QList<int>{1, 2, 3}));
    QCOMPARE(fileHash(m_bank), before);
}

void TestPractice::randomPractice_onAnEmptyTableShowsAnEmptySet()
{
    openBank(0);
    run(&practice::Drill::randomPractice);
    QCOMPARE(m_front.page, StudyPage);
    QCOMPARE(m_front.progress[StudyPage], QStringLiteral("0/0"));
    QCOMPARE(study(), QString());
}

void TestPractice::draws_areWithoutRepetitionAndReachEveryRow()
{
    // Fixed seed and enough rounds that a row is missed by chance about once in 10^11 runs.
    practice::seedRandom(150);
    openBank(150);
    QSet<QString> seen;
    for (int round = 0; round < 30; ++round) {
        run(&practice::Drill::randomPractice);
        const QStringList questions = setQuestions();
        QCOMPARE(questions.size(), 100);
        QCOMPARE(QSet<QString>(questions.begin(), questions.end()).size(), 100);
        // Each slot's question is the row its record number names.
        for (int id : setIds())
            QVERIFY(questions.contains(questionFor(id)));
        seen.unite(QSet<QString>(questions.begin(), questions.end()));
    }
    QCOMPARE(seen.size(), 150);

    // A set smaller than 100 holds every row once; the order varies between draws.
    cleanup();
    init();
    openBank(5);
    QSet<QList<int>> orders;
    for (int round = 0; round < 30; ++round) {
        run(&practice::Drill::randomPractice);
        QList<int> ids = setIds();
        orders.insert(ids);
        std::sort(ids.begin(), ids.end());
        QCOMPARE(ids, range(1, 5));
    }
    QVERIFY(orders.size() > 10);
}

void TestPractice::draws_repeatForTheSameSeed()
{
    openBank(300);
    practice::seedRandom(7);
    run(&practice::Drill::randomPractice);
    const QList<int> first = setIds();
    practice::seedRandom(7);
    run(&practice::Drill::randomPractice);
    QCOMPARE(setIds(), first);
    run(&practice::Drill::randomPractice);
    QVERIFY(setIds() != first);
}

void TestPractice::navigation_refusesAtBothEnds()
{
    openBank(3);
    run(&practice::Drill::newPractice);
    m_drill->previous(StudyPage);
    QCOMPARE(m_front.takeInfos(), QStringList{"已经是第一题了"});
    QCOMPARE(m_front.progress[StudyPage], QStringLiteral("1/3"));
    m_drill->next(StudyPage);
    m_drill->next(StudyPage);
    QCOMPARE(m_front.progress[StudyPage], QStringLiteral("3/3"));
    QCOMPARE(study(), studied(3));
    m_drill->next(StudyPage);
    QCOMPARE(m_front.takeInfos(), QStringList{"已经是最后一题了"});
    QCOMPARE(m_front.progress[StudyPage], QStringLiteral("3/3"));
    m_drill->previous(StudyPage);
    QCOMPARE(m_front.progress[StudyPage], QStringLiteral("2/3"));
    m_drill->previous(StudyPage);
    QCOMPARE(m_front.progress[StudyPage], QStringLiteral("1/3"));
    QCOMPARE(study(), studied(1));

    m_drill->startTest();
    m_drill->previous(TestPage);
    QCOMPARE(m_front.takeInfos(), QStringList{"已经是第一题了"});
    m_drill->next(TestPage);
    m_drill->next(TestPage);
    QCOMPARE(m_front.progress[TestPage], QStringLiteral("3/3"));
    QCOMPARE(test(), questionFor(3));
    m_drill->next(TestPage);
    QCOMPARE(m_front.takeInfos(), QStringList{"已经是最后一题了"});
    m_drill->previous(TestPage);
    QCOMPARE(m_front.progress[TestPage], QStringLiteral("2/3"));
    m_drill->previous(TestPage);
    QCOMPARE(m_front.progress[TestPage], QStringLiteral("1/3"));
    QCOMPARE(test(), questionFor(1));
    // The study page kept what it showed.
    QCOMPARE(study(), studied(1));
}

void TestPractice::navigation_refusesBothWaysInAnEmptySet()
{
    openBank(0);
    run(&practice::Drill::newPractice);
    m_drill->previous(StudyPage);
    m_drill->next(StudyPage);
    QCOMPARE(m_front.takeInfos(), (QStringList{"已经是第一题了", "已经是最后一题了"}));
    m_drill->startTest();
    m_drill->previous(TestPage);
    m_drill->next(TestPage);
    QCOMPARE(m_front.takeInfos(), (QStringList{"已经是第一题了", "已经是最后一题了"}));
    QCOMPARE(m_front.progress[TestPage], QStringLiteral("0/0"));
}

void TestPractice::test_rightWrongAndLastQuestion()
{
    openBank(3); // answers A, B, C
    run(&practice::Drill::newPractice);
    m_drill->startTest();
    QCOMPARE(m_front.page, TestPage);
    QCOMPARE(test(), questionFor(1));
    QCOMPARE(m_front.progress[TestPage], QStringLiteral("1/3"));
    QCOMPARE(m_front.feedback, QString());

    m_drill->answer("B");
    QCOMPARE(m_front.feedback, QStringLiteral("应选A"));
    QCOMPARE(m_front.progress[TestPage], QStringLiteral("1/3"));
    m_drill->answer("A"); // right: on to the next
    QCOMPARE(m_front.feedback, QStringLiteral("牛！"));
    QCOMPARE(m_front.progress[TestPage], QStringLiteral("2/3"));
    QCOMPARE(test(), questionFor(2));
    m_drill->answer("B");
    m_drill->answer("D"); // wrong on the last question
    QCOMPARE(m_front.feedback, QStringLiteral("应选C"));
    QCOMPARE(m_front.takeInfos(), QStringList());
    m_drill->answer("C");
    QCOMPARE(m_front.feedback, QStringLiteral("牛！"));
    QCOMPARE(m_front.takeInfos(), QStringList{"检测完毕"});
    QCOMPARE(m_front.progress[TestPage], QStringLiteral("3/3"));
    m_drill->answer("C");
    QCOMPARE(m_front.takeInfos(), QStringList{"检测完毕"});
    QCOMPARE(m_front.progress[TestPage], QStringLiteral("3/3"));
    QCOMPARE(m_front.page, TestPage);
}

void TestPractice::test_oddAnswersNeverMatch()
{
    makeBank(m_bank, 3);
    runSql(m_bank, "UPDATE kx SET da = CASE id WHEN 1 THEN 'b' WHEN 2 THEN ' B' ELSE 'AB' END");
    connect();
    run(&practice::Drill::newPractice);
    m_drill->startTest();
    const QStringList stored = {"b", " B", "AB"};
    for (int q = 0; q < 3; ++q) {
        for (const char *choice : {"A", "B", "C", "D"}) {
            m_drill->answer(choice);
            QCOMPARE(m_front.feedback, "应选" + stored.at(q));
            QCOMPARE(m_front.progress[TestPage], QStringLiteral("%1/3").arg(q + 1));
        }
        m_drill->next(TestPage);
    }
    QCOMPARE(m_front.takeInfos(), QStringList{"已经是最后一题了"});
}

void TestPractice::test_startsAtTheFirstQuestionAndStudyReturnsToIt()
{
    openBank(120);
    run(&practice::Drill::newPractice);
    for (int i = 0; i < 36; ++i)
        m_drill->next(StudyPage);
    QCOMPARE(m_front.progress[StudyPage], QStringLiteral("37/100"));
    m_drill->startTest();
    QCOMPARE(m_front.progress[TestPage], QStringLiteral("1/100"));
    QCOMPARE(test(), questionFor(1));
    QCOMPARE(m_drill->set().tmanswer, answerFor(1));
    m_drill->next(TestPage);
    m_drill->next(TestPage);
    m_drill->backToStudy();
    QCOMPARE(m_front.page, StudyPage);
    QCOMPARE(m_front.progress[StudyPage], QStringLiteral("1/100"));
    QCOMPARE(study(), studied(1));
}

void TestPractice::feedback_staysUntilTheNextAnswer()
{
    openBank(4);
    run(&practice::Drill::newPractice);
    m_drill->startTest();
    m_drill->answer("D");
    QCOMPARE(m_front.feedback, QStringLiteral("应选A"));
    m_drill->next(TestPage);
    QCOMPARE(m_front.feedback, QStringLiteral("应选A"));
    m_drill->backToStudy();
    m_drill->startTest();
    run(&practice::Drill::randomPractice);
    QCOMPARE(m_front.feedback, QStringLiteral("应选A"));
    // Any other page number shows nothing anywhere.
    const RecordingFrontend before = m_front;
    m_drill->showtm(3);
    m_drill->showtm(0);
    QCOMPARE(m_front.question[StudyPage], before.question[StudyPage]);
    QCOMPARE(m_front.question[TestPage], before.question[TestPage]);
    QCOMPARE(m_front.progress[StudyPage], before.progress[StudyPage]);
    QCOMPARE(m_front.progress[TestPage], before.progress[TestPage]);
}

void TestPractice::failedMode_leavesTheSetAsItWas()
{
    openBank(8);
    run(&practice::Drill::newPractice);
    m_drill->next(StudyPage);
    m_drill->next(StudyPage);
    const QList<int> ids = setIds();
    const QString shown = study();
    m_connection.close();

    for (auto mode : {&practice::Drill::newPractice, &practice::Drill::review,
                      &practice::Drill::randomPractice}) {
        m_front.page = practice::BannerPage;
        const QString error = run(mode);
        QVERIFY2(error.startsWith("题库没有打开："), qPrintable(error));
        QCOMPARE(setIds(), ids);
        QCOMPARE(m_drill->set().tmcount, 8);
        QCOMPARE(m_drill->set().tmindex, 2);
        QCOMPARE(m_front.progress[StudyPage], QStringLiteral("3/8"));
        QCOMPARE(study(), shown);
        QCOMPARE(m_front.page, practice::BannerPage);
    }
}

void TestPractice::failedWrite_keepsTheQuestionsAlreadyMarked()
{
    makeBank(m_bank, 10);
    runSql(m_bank, "CREATE TRIGGER fail_four BEFORE UPDATE ON kx WHEN NEW.id = 4 "
                   "BEGIN SELECT RAISE(ABORT, 'disk full'); END");
    connect();
    const QString error = run(&practice::Drill::newPractice);
    QVERIFY2(error.contains("disk full"), qPrintable(error));
    QCOMPARE(setIds(), (QList<int>{1, 2, 3}));
    QCOMPARE(m_front.progress[StudyPage], QStringLiteral("1/3"));
    QCOMPARE(m_front.page, StudyPage);
    QCOMPARE(study(), studied(1));
    QCOMPARE(practisedIds(m_bank), (QList<qint64>{1, 2, 3}));
    for (int i = 0; i < 3; ++i)
        m_drill->next(StudyPage);
    QCOMPARE(m_front.takeInfos(), QStringList{"已经是最后一题了"});
}

void TestPractice::failedFirstWrite_leavesTheSetAsItWas()
{
    makeBank(m_bank, 6);
    connect();
    run(&practice::Drill::randomPractice);
    const QStringList questions = setQuestions();
    runSql(m_bank, "CREATE TRIGGER fail_all BEFORE UPDATE ON kx "
                   "BEGIN SELECT RAISE(ABORT, 'disk full'); END");
    QVERIFY(!run(&practice::Drill::newPractice).isEmpty());
    QCOMPARE(setQuestions(), questions);
    QCOMPARE(m_front.progress[StudyPage], QStringLiteral("1/6"));
    QCOMPARE(practisedIds(m_bank), QList<qint64>());
}

void TestPractice::studyPage_putsTheAnswerOnALineOfItsOwn_data()
{
    QTest::addColumn<QString>("tm");
    QTest::addColumn<QString>("shown");
    QTest::addRow("a question") << "q"
                                << "q\n正确答案是:B";
    QTest::addRow("a question ending in LF") << "q\n"
                                             << "q\n正确答案是:B";
    QTest::addRow("a question ending in CR") << "q\r"
                                             << "q\r正确答案是:B";
    QTest::addRow("no question") << ""
                                 << "正确答案是:B";
}

void TestPractice::studyPage_putsTheAnswerOnALineOfItsOwn()
{
    QFETCH(QString, tm);
    QFETCH(QString, shown);
    QCOMPARE(practice::studyPageText(tm, QStringLiteral("B")), shown);
}

void TestPractice::emptySet_showsNothingStale()
{
    openBank(3);
    run(&practice::Drill::newPractice);
    m_drill->startTest();
    m_drill->answer("B");
    run(&practice::Drill::newPractice); // nothing new left
    QCOMPARE(m_drill->set().tmcount, 0);
    QCOMPARE(study(), QString());
    QCOMPARE(m_front.progress[StudyPage], QStringLiteral("0/0"));
    m_drill->startTest();
    QCOMPARE(test(), QString());
    QCOMPARE(m_front.progress[TestPage], QStringLiteral("0/0"));
    QCOMPARE(m_drill->set().tmanswer, QString());
    for (const char *choice : {"A", "B", "C", "D"})
        m_drill->answer(choice);
    QCOMPARE(m_front.feedback, QStringLiteral("应选A"));
    QCOMPARE(m_front.progress[TestPage], QStringLiteral("0/0"));
}

QTEST_GUILESS_MAIN(TestPractice)
#include "tst_practice.moc"

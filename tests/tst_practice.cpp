#include "bank/connection.h"
#include "bank/query.h"
#include "bank/store.h"
#include "practice/random.h"
#include "tests/support/bankfixture.h"
#include "tests/support/modalwatcher.h"
#include "ui/Unit_main.h"
#include "ui/chinesesupport.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSet>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace testsupport;

class TestPractice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
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
    void failedModeButton_leavesTheSetAsItWas();
    void failedWrite_keepsTheQuestionsAlreadyMarked();
    void failedFirstWrite_leavesTheSetAsItWas();
    void emptySet_showsNothingStale();

private:
    void openBank(int count, const std::function<bool(int)> &practised = {});
    void click(QPushButton *button);
    QString studyText() const { return m_window->mmo1->toPlainText(); }
    QString testText() const { return m_window->mmo2->toPlainText(); }
    int page() const { return m_window->PageControl1->currentIndex(); }
    QList<int> setIds() const;
    QStringList setQuestions() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_bank;
    std::unique_ptr<ModalWatcher> m_watcher;
    std::unique_ptr<TForm_main> m_window;
};

void TestPractice::initTestCase()
{
    ui::installChineseSupport(*qApp);
    // These tests press buttons faster than any double click; the window
    // would take a second 新题练习 for one.
    QApplication::setDoubleClickInterval(0);
}

void TestPractice::init()
{
    clearExecutableFolder();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_bank = m_dir->filePath("kxst.db");
    m_watcher = std::make_unique<ModalWatcher>();
    m_window = std::make_unique<TForm_main>();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    // Start-up has tried the bank beside the executable (there is none) before a test opens its
    // own.
    m_window->finishStartUp();
    practice::seedRandom(20261209);
}

void TestPractice::cleanup()
{
    m_window.reset();
    QCOMPARE(m_watcher->take().size(), 0); // every box a test caused was checked
    m_watcher.reset();
}

void TestPractice::openBank(int count, const std::function<bool(int)> &practised)
{
    makeBank(m_bank, count, practised);
    QVERIFY(ConnectAccessDb(*m_window->ADOConnection1, m_bank, bank::kBankPassword));
    QVERIFY(OpenTable(*m_window->ADOQuery1, bank::kQuestionTable));
}

void TestPractice::click(QPushButton *button)
{
    QVERIFY2(button->isVisible(), qPrintable(button->objectName()));
    QTest::mouseClick(button, Qt::LeftButton);
}

QList<int> TestPractice::setIds() const
{
    QList<int> ids;
    const auto &set = m_window->workingSet();
    for (int i = 0; i < set.tmcount; ++i)
        ids.append(set.tmlist[size_t(i)].id);
    return ids;
}

QStringList TestPractice::setQuestions() const
{
    QStringList questions;
    const auto &set = m_window->workingSet();
    for (int i = 0; i < set.tmcount; ++i)
        questions.append(set.tmlist[size_t(i)].tm);
    return questions;
}

static QList<int> range(int from, int to)
{
    QList<int> values;
    for (int i = from; i <= to; ++i)
        values.append(i);
    return values;
}

static QList<qint64> rowIds(int from, int to)
{
    QList<qint64> values;
    for (int i = from; i <= to; ++i)
        values.append(i);
    return values;
}

void TestPractice::newPractice_takesTheNextHundredAndMarksExactlyThose()
{
    openBank(250);
    click(m_window->btn1);
    QCOMPARE(page(), 1);
    QCOMPARE(setIds(), range(1, 100));
    QCOMPARE(m_window->lbl3->text(), QStringLiteral("1/100"));
    QCOMPARE(studyText(), questionFor(1) + "\n正确答案是:" + answerFor(1));
    QCOMPARE(practisedIds(m_bank), rowIds(1, 100));

    click(m_window->btn1);
    QCOMPARE(setIds(), range(101, 200));
    QCOMPARE(studyText(), questionFor(101) + "\n正确答案是:" + answerFor(101));

    click(m_window->btn1);
    QCOMPARE(setIds(), range(201, 250));
    QCOMPARE(m_window->lbl3->text(), QStringLiteral("1/50"));
    QCOMPARE(practisedIds(m_bank).size(), 250);

    // Nothing new is left: an empty set, and not a byte written.
    const QByteArray before = fileHash(m_bank);
    click(m_window->btn1);
    QCOMPARE(m_window->workingSet().tmcount, 0);
    QCOMPARE(m_window->lbl3->text(), QStringLiteral("0/0"));
    QCOMPARE(studyText(), QString());
    QCOMPARE(page(), 1);
    QCOMPARE(fileHash(m_bank), before);
}

void TestPractice::newPractice_smallSetTakesEveryNewQuestion()
{
    openBank(10, [](int i) { return i < 3; });
    click(m_window->btn1);
    QCOMPARE(setIds(), range(4, 10));
    QCOMPARE(m_window->lbl3->text(), QStringLiteral("1/7"));
    QCOMPARE(xxValues(m_bank), QList<qint64>(10, 1));
}

void TestPractice::review_withNothingPractisedOnlyTellsSo()
{
    openBank(5);
    click(m_window->btn2);
    const auto boxes = m_watcher->take();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.at(0).caption, QStringLiteral("提示"));
    QCOMPARE(boxes.at(0).text, QStringLiteral("还没有练习过"));
    QCOMPARE(page(), 0);
    QCOMPARE(m_window->workingSet().tmcount, 0);

    // With a set on the study page the notice leaves it there, untouched.
    click(m_window->btn3);
    const QStringList questions = setQuestions();
    click(m_window->btn5);
    m_watcher->take();
    click(m_window->btn2);
    QCOMPARE(m_watcher->takeTexts(), QStringList{"还没有练习过"});
    QCOMPARE(page(), 1);
    QCOMPARE(setQuestions(), questions);
    QCOMPARE(m_window->lbl3->text(), QStringLiteral("2/5"));
}

void TestPractice::review_drawsEveryPractisedQuestionOnce()
{
    openBank(20, [](int i) { return i == 2 || i == 9 || i == 15; });
    const QByteArray before = fileHash(m_bank);
    click(m_window->btn2);
    QCOMPARE(m_window->lbl3->text(), QStringLiteral("1/3"));
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
    click(m_window->btn3);
    QCOMPARE(page(), 1);
    QCOMPARE(m_window->lbl3->text(), QStringLiteral("0/0"));
    QCOMPARE(studyText(), QString());
}

void TestPractice::draws_areWithoutRepetitionAndReachEveryRow()
{
    // Fixed seed and enough rounds that a row is missed by chance about once in 10^11 runs.
    practice::seedRandom(150);
    openBank(150);
    QSet<QString> seen;
    for (int round = 0; round < 30; ++round) {
        click(m_window->btn3);
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
    m_window.reset();
    init();
    openBank(5);
    QSet<QList<int>> orders;
    for (int round = 0; round < 30; ++round) {
        click(m_window->btn3);
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
    click(m_window->btn3);
    const QList<int> first = setIds();
    practice::seedRandom(7);
    click(m_window->btn3);
    QCOMPARE(setIds(), first);
    click(m_window->btn3);
    QVERIFY(setIds() != first);
}

void TestPractice::navigation_refusesAtBothEnds()
{
    openBank(3);
    click(m_window->btn1);
    click(m_window->btn4);
    QCOMPARE(m_watcher->takeTexts(), QStringList{"已经是第一题了"});
    QCOMPARE(m_window->lbl3->text(), QStringLiteral("1/3"));
    click(m_window->btn5);
    click(m_window->btn5);
    QCOMPARE(m_window->lbl3->text(), QStringLiteral("3/3"));
    QCOMPARE(studyText(), questionFor(3) + "\n正确答案是:" + answerFor(3));
    click(m_window->btn5);
    QCOMPARE(m_watcher->takeTexts(), QStringList{"已经是最后一题了"});
    QCOMPARE(m_window->lbl3->text(), QStringLiteral("3/3"));
    click(m_window->btn4);
    QCOMPARE(m_window->lbl3->text(), QStringLiteral("2/3"));
    click(m_window->btn4);
    QCOMPARE(m_window->lbl3->text(), QStringLiteral("1/3"));
    QCOMPARE(studyText(), questionFor(1) + "\n正确答案是:" + answerFor(1));

    click(m_window->btn6);
    click(m_window->btn8);
    QCOMPARE(m_watcher->takeTexts(), QStringList{"已经是第一题了"});
    click(m_window->btn7);
    click(m_window->btn7);
    QCOMPARE(m_window->lbl5->text(), QStringLiteral("3/3"));
    QCOMPARE(testText(), questionFor(3));
    click(m_window->btn7);
    QCOMPARE(m_watcher->takeTexts(), QStringList{"已经是最后一题了"});
    click(m_window->btn8);
    QCOMPARE(m_window->lbl5->text(), QStringLiteral("2/3"));
    click(m_window->btn8);
    QCOMPARE(m_window->lbl5->text(), QStringLiteral("1/3"));
    QCOMPARE(testText(), questionFor(1));
}

void TestPractice::navigation_refusesBothWaysInAnEmptySet()
{
    openBank(0);
    click(m_window->btn1);
    click(m_window->btn4);
    click(m_window->btn5);
    QCOMPARE(m_watcher->takeTexts(), (QStringList{"已经是第一题了", "已经是最后一题了"}));
    click(m_window->btn6);
    click(m_window->btn8);
    click(m_window->btn7);
    QCOMPARE(m_watcher->takeTexts(), (QStringList{"已经是第一题了", "已经是最后一题了"}));
    QCOMPARE(m_window->lbl5->text(), QStringLiteral("0/0"));
}

void TestPractice::test_rightWrongAndLastQuestion()
{
    openBank(3); // answers A, B, C
    click(m_window->btn1);
    click(m_window->btn6);
    QCOMPARE(page(), 2);
    QCOMPARE(testText(), questionFor(1));
    QCOMPARE(m_window->lbl5->text(), QStringLiteral("1/3"));
    QCOMPARE(m_window->lbl4->text(), QStringLiteral("请选择"));

    click(m_window->btn11); // B, wrong
    QCOMPARE(m_window->lbl4->text(), QStringLiteral("应选A"));
    QCOMPARE(m_window->lbl5->text(), QStringLiteral("1/3"));
    click(m_window->btn10); // A, right: on to the next
    QCOMPARE(m_window->lbl4->text(), QStringLiteral("牛！"));
    QCOMPARE(m_window->lbl5->text(), QStringLiteral("2/3"));
    QCOMPARE(testText(), questionFor(2));
    click(m_window->btn11);
    click(m_window->btn13); // D, wrong on the last question
    QCOMPARE(m_window->lbl4->text(), QStringLiteral("应选C"));
    click(m_window->btn12);
    QCOMPARE(m_window->lbl4->text(), QStringLiteral("牛！"));
    QCOMPARE(m_watcher->takeTexts(), QStringList{"检测完毕"});
    QCOMPARE(m_window->lbl5->text(), QStringLiteral("3/3"));
    click(m_window->btn12);
    QCOMPARE(m_watcher->takeTexts(), QStringList{"检测完毕"});
    QCOMPARE(m_window->lbl5->text(), QStringLiteral("3/3"));
    QCOMPARE(m_window->lbl4->sizeHint().width(), m_window->lbl4->width());
}

void TestPractice::test_oddAnswersNeverMatch()
{
    makeBank(m_bank, 3);
    runSql(m_bank, "UPDATE kx SET da = CASE id WHEN 1 THEN 'b' WHEN 2 THEN ' B' ELSE 'AB' END");
    QVERIFY(ConnectAccessDb(*m_window->ADOConnection1, m_bank, bank::kBankPassword));
    click(m_window->btn1);
    click(m_window->btn6);
    const QStringList stored = {"b", " B", "AB"};
    for (int q = 0; q < 3; ++q) {
        for (QPushButton *answer :
             {m_window->btn10, m_window->btn11, m_window->btn12, m_window->btn13}) {
            click(answer);
            QCOMPARE(m_window->lbl4->text(), "应选" + stored.at(q));
            QCOMPARE(m_window->lbl5->text(), QStringLiteral("%1/3").arg(q + 1));
        }
        click(m_window->btn7);
    }
    QCOMPARE(m_watcher->takeTexts(), QStringList{"已经是最后一题了"});
}

void TestPractice::test_startsAtTheFirstQuestionAndStudyReturnsToIt()
{
    openBank(120);
    click(m_window->btn1);
    for (int i = 0; i < 36; ++i)
        click(m_window->btn5);
    QCOMPARE(m_window->lbl3->text(), QStringLiteral("37/100"));
    click(m_window->btn6);
    QCOMPARE(m_window->lbl5->text(), QStringLiteral("1/100"));
    QCOMPARE(testText(), questionFor(1));
    QCOMPARE(m_window->workingSet().tmanswer, answerFor(1));
    click(m_window->btn7);
    click(m_window->btn7);
    click(m_window->btn9);
    QCOMPARE(page(), 1);
    QCOMPARE(m_window->lbl3->text(), QStringLiteral("1/100"));
    QCOMPARE(studyText(), questionFor(1) + "\n正确答案是:" + answerFor(1));
}

void TestPractice::feedback_staysUntilTheNextAnswer()
{
    openBank(4);
    click(m_window->btn1);
    click(m_window->btn6);
    click(m_window->btn13);
    QCOMPARE(m_window->lbl4->text(), QStringLiteral("应选A"));
    click(m_window->btn7);
    QCOMPARE(m_window->lbl4->text(), QStringLiteral("应选A"));
    click(m_window->btn9);
    click(m_window->btn6);
    click(m_window->btn3);
    QCOMPARE(m_window->lbl4->text(), QStringLiteral("应选A"));
    // Any other page number shows nothing anywhere.
    const QString study = studyText();
    m_window->showtm(3);
    QCOMPARE(studyText(), study);
}

void TestPractice::failedModeButton_leavesTheSetAsItWas()
{
    openBank(8);
    click(m_window->btn1);
    click(m_window->btn5);
    click(m_window->btn5);
    const QList<int> ids = setIds();
    const QString study = studyText();
    m_window->ADOConnection1->close();

    for (QPushButton *mode : {m_window->btn1, m_window->btn2, m_window->btn3}) {
        click(mode);
        const auto boxes = m_watcher->take();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.at(0).icon, QMessageBox::Critical);
        QVERIFY2(boxes.at(0).text.startsWith("题库没有打开："), qPrintable(boxes.at(0).text));
        QCOMPARE(setIds(), ids);
        QCOMPARE(m_window->workingSet().tmcount, 8);
        QCOMPARE(m_window->workingSet().tmindex, 2);
        QCOMPARE(m_window->lbl3->text(), QStringLiteral("3/8"));
        QCOMPARE(studyText(), study);
        QCOMPARE(page(), 1);
    }
}

void TestPractice::failedWrite_keepsTheQuestionsAlreadyMarked()
{
    makeBank(m_bank, 10);
    runSql(m_bank, "CREATE TRIGGER fail_four BEFORE UPDATE ON kx WHEN NEW.id = 4 "
                   "BEGIN SELECT RAISE(ABORT, 'disk full'); END");
    QVERIFY(ConnectAccessDb(*m_window->ADOConnection1, m_bank, bank::kBankPassword));
    click(m_window->btn1);
    const auto boxes = m_watcher->take();
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes.at(0).text.contains("disk full"), qPrintable(boxes.at(0).text));
    QCOMPARE(setIds(), (QList<int>{1, 2, 3}));
    QCOMPARE(m_window->lbl3->text(), QStringLiteral("1/3"));
    QCOMPARE(page(), 1);
    QCOMPARE(studyText(), questionFor(1) + "\n正确答案是:" + answerFor(1));
    QCOMPARE(practisedIds(m_bank), (QList<qint64>{1, 2, 3}));
    click(m_window->btn5);
    click(m_window->btn5);
    click(m_window->btn5);
    QCOMPARE(m_watcher->takeTexts(), QStringList{"已经是最后一题了"});
}

void TestPractice::failedFirstWrite_leavesTheSetAsItWas()
{
    makeBank(m_bank, 6);
    QVERIFY(ConnectAccessDb(*m_window->ADOConnection1, m_bank, bank::kBankPassword));
    click(m_window->btn3);
    const QStringList questions = setQuestions();
    runSql(m_bank, "CREATE TRIGGER fail_all BEFORE UPDATE ON kx "
                   "BEGIN SELECT RAISE(ABORT, 'disk full'); END");
    click(m_window->btn1);
    QCOMPARE(m_watcher->take().size(), 1);
    QCOMPARE(setQuestions(), questions);
    QCOMPARE(m_window->lbl3->text(), QStringLiteral("1/6"));
    QCOMPARE(practisedIds(m_bank), QList<qint64>());
}

void TestPractice::emptySet_showsNothingStale()
{
    openBank(3);
    click(m_window->btn1);
    click(m_window->btn1); // nothing new left
    QCOMPARE(m_window->workingSet().tmcount, 0);
    QCOMPARE(studyText(), QString());
    QCOMPARE(m_window->lbl3->text(), QStringLiteral("0/0"));
    click(m_window->btn6);
    QCOMPARE(testText(), QString());
    QCOMPARE(m_window->lbl5->text(), QStringLiteral("0/0"));
    QCOMPARE(m_window->workingSet().tmanswer, QString());
    for (QPushButton *answer : {m_window->btn10, m_window->btn11, m_window->btn12, m_window->btn13})
        click(answer);
    QCOMPARE(m_window->lbl4->text(), QStringLiteral("请选择"));
    QCOMPARE(m_window->lbl5->text(), QStringLiteral("0/0"));
}

QTEST_MAIN(TestPractice)
#include "tst_practice.moc"

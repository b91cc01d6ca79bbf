// The bank under a second copy of the program, a crash at any moment and a
// damaged file. The copies are this executable started again in taker mode.

#include "bank/bankerror.h"
#include "bank/connection.h"
#include "bank/database.h"
#include "bank/query.h"
#include "bank/store.h"
#include "bank/transaction.h"
#include "practice/drill.h"
#include "practice/frontend.h"
#include "tests/support/bankfixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <cstring>

using namespace testsupport;

namespace {

const char *const kTakerSwitch = "--take-sets";

// Taker mode: opens the bank, says "ready", waits for a line on stdin, then
// takes new-question sets (`sets` of them, or until none is left when 0),
// printing the ids of each set on a line of its own once it is shown.
int takeSets(const QString &path, int sets)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    bank::Connection connection;
    if (!ConnectAccessDb(connection, path, bank::kBankPassword)) {
        err << connection.failureReason() << Qt::endl;
        return 1;
    }
    bank::Query query;
    query.setConnection(&connection);
    practice::SilentFrontend frontend;
    practice::Drill drill(frontend);
    out << "ready" << Qt::endl;
    QTextStream(stdin).readLine();
    for (int taken = 0; sets == 0 || taken < sets; ++taken) {
        try {
            drill.newPractice(query);
        } catch (const bank::BankError &error) {
            err << error.message() << Qt::endl;
            return 1;
        }
        const auto &set = drill.set();
        if (set.tmcount == 0)
            break;
        QStringList ids;
        for (int i = 0; i < set.tmcount; ++i)
            ids.append(QString::number(set.tmlist[size_t(i)].id));
        out << ids.join(QLatin1Char(' ')) << Qt::endl;
    }
    return 0;
}

// Runs one practice mode on a new connection, as a press of its button does;
// returns the error it ended with, and the ids of the set it took.
QString practiceError(const QString &path, void (practice::Drill::*mode)(bank::Query &),
                      QList<qint64> *ids = nullptr)
{
    bank::Connection connection;
    if (!ConnectAccessDb(connection, path, bank::kBankPassword))
        return connection.failureReason();
    bank::Query query;
    query.setConnection(&connection);
    practice::SilentFrontend frontend;
    practice::Drill drill(frontend);
    QString error;
    try {
        (drill.*mode)(query);
    } catch (const bank::BankError &e) {
        error = e.message();
    }
    for (int i = 0; ids && i < drill.set().tmcount; ++i)
        ids->append(drill.set().tmlist[size_t(i)].id);
    return error;
}

QString newPracticeError(const QString &path, QList<qint64> *ids = nullptr)
{
    return practiceError(path, &practice::Drill::newPractice, ids);
}

// Opened for writing, as the program opens it: a killed writer's journal is rolled back first.
QStringList integrityCheck(const QString &path)
{
    bank::Database db;
    if (!db.open(path, bank::Database::OpenMode::ReadWrite))
        return {db.lastError()};
    bank::Statement check(db, QStringLiteral("PRAGMA integrity_check"));
    QStringList result;
    while (check.step())
        result.append(check.textValue(0));
    return result;
}

QString reviewError(const QString &path)
{
    return practiceError(path, &practice::Drill::review);
}

// Several statements on one connection, as another program may run them.
void runScript(const QString &path, const QStringList &statements)
{
    bank::Database db;
    QVERIFY(db.open(path, bank::Database::OpenMode::Create));
    for (const QString &sql : statements)
        QVERIFY2(db.execute(sql), qPrintable(db.lastError()));
}

// Runs `sql` on the table while the index on xx is declared to cover only
// the rows `covered` holds for: the entries of the others stay as they were,
// stale rather than missing.
void writeBehindTheIndex(const QString &path, const QString &sql, const QString &covered)
{
    const auto declare = [&path](const QString &index) {
        runScript(path, {"PRAGMA writable_schema = ON",
                         QStringLiteral("UPDATE sqlite_schema SET sql = '%1' WHERE name = 'kx_xx'")
                             .arg(index)});
    };
    declare("CREATE INDEX kx_xx ON kx (xx) WHERE " + covered);
    runSql(path, sql);
    declare("CREATE INDEX kx_xx ON kx (xx)");
}

// The practised rows as the table holds them, whatever the index says.
QList<qint64> tablePractised(const QString &path)
{
    bank::Database db;
    if (!db.open(path, bank::Database::OpenMode::ReadOnly))
        return {};
    bank::Statement ids(db, "SELECT rowid FROM kx NOT INDEXED WHERE xx = 1 ORDER BY rowid");
    QList<qint64> values;
    while (ids.step())
        values.append(ids.int64Value(0));
    return values;
}

// Every row of the query's snapshot, by record number.
QList<qint64> numbered(bank::Query &query)
{
    QList<qint64> ids;
    const int count = query.recordCount();
    for (int n = 1; n <= count; ++n) {
        query.setRecordNumber(n);
        ids.append(query.fieldAsInteger("id"));
    }
    return ids;
}

QList<qint64> range(qint64 from, qint64 to)
{
    QList<qint64> values;
    for (qint64 i = from; i <= to; ++i)
        values.append(i);
    return values;
}

} // namespace

class TestStoreIntegrity : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void newPractice_killedAtAnyMomentLeavesWholeSetsInOrder();
    void newPractice_twoCopiesNeverHandOutAQuestionTwice();
    void damagedIndex_isToldAndTheToolRepairsIt_data();
    void damagedIndex_isToldAndTheToolRepairsIt();
    void post_leavesARowAnotherCopyTook_data();
    void post_leavesARowAnotherCopyTook();
    void rowList_isReadAgainAfterAnyoneElseWrites_data();
    void rowList_isReadAgainAfterAnyoneElseWrites();
    void review_listsTheShorterSideAsTheTableHasIt_data();
    void review_listsTheShorterSideAsTheTableHasIt();

private:
    void startTaker(QProcess &taker, int sets);
    static QList<qint64> printedIds(QProcess &taker);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_bank;
};

void TestStoreIntegrity::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_bank = m_dir->filePath("kxst.db");
}

void TestStoreIntegrity::startTaker(QProcess &taker, int sets)
{
    taker.start(QCoreApplication::applicationFilePath(),
                {QString::fromLatin1(kTakerSwitch), m_bank, QString::number(sets)});
    QVERIFY(taker.waitForStarted());
    while (!taker.canReadLine())
        QVERIFY2(taker.waitForReadyRead(10000), taker.readAllStandardError().constData());
    QCOMPARE(taker.readLine().trimmed(), QByteArray("ready")); // CR LF on Windows
}

// The ids of every set the taker showed; a line cut short by a kill is no set.
QList<qint64> TestStoreIntegrity::printedIds(QProcess &taker)
{
    QList<qint64> ids;
    const QByteArray output = taker.readAllStandardOutput();
    for (const QByteArray &line : output.left(output.lastIndexOf('\n')).split('\n'))
        for (const QByteArray &id : line.split(' '))
            if (!id.isEmpty())
                ids.append(id.toLongLong());
    return ids;
}

void TestStoreIntegrity::newPractice_killedAtAnyMomentLeavesWholeSetsInOrder()
{
    makeBank(m_bank, 100000);
    // One whole set first: its time sets the window the kills fall in, so that
    // they land before, during and after sets on a fast machine and on a slow one.
    QElapsedTimer timer;
    {
        QProcess taker;
        startTaker(taker, 1);
        timer.start();
        taker.write("go\n");
        QVERIFY(taker.waitForFinished());
        QCOMPARE(printedIds(taker), range(1, 100));
    }
    const int window = int(qMax<qint64>(40, 3 * timer.elapsed()));
    qint64 marked = 100;
    for (int round = 0; round < 20; ++round) {
        QProcess taker;
        startTaker(taker, 0);
        taker.write("go\n");
        QTest::qWait(QRandomGenerator::global()->bounded(1, window));
        taker.kill();
        QVERIFY(taker.waitForFinished());
        const QList<qint64> shown = printedIds(taker);

        QCOMPARE(integrityCheck(m_bank), QStringList{"ok"});
        const QList<qint64> ids = practisedIds(m_bank);
        QCOMPARE(ids.size() % 100, 0);
        QCOMPARE(ids, range(1, ids.size()));
        QVERIFY(ids.size() >= marked);
        for (qint64 id : shown)
            QVERIFY2(id <= ids.size(), "a question was shown without its mark in the file");
        marked = ids.size();
    }
    QVERIFY(marked > 100);

    QProcess taker;
    startTaker(taker, 1);
    taker.write("go\n");
    QVERIFY(taker.waitForFinished());
    QCOMPARE(taker.exitCode(), 0);
    QCOMPARE(printedIds(taker), range(marked + 1, marked + 100));
}

void TestStoreIntegrity::newPractice_twoCopiesNeverHandOutAQuestionTwice()
{
    // Whether the copies' first sets overlap depends on the scheduler, so the
    // race is run more than once.
    for (int round = 0; round < 3; ++round) {
        QVERIFY(!QFile::exists(m_bank) || QFile::remove(m_bank));
        makeBank(m_bank, 4000);
        QProcess first;
        QProcess second;
        startTaker(first, 20);
        startTaker(second, 20);
        // Both hear "go" before either is waited for: a write stays in QProcess's
        // buffer until the test waits on that process, which would run the copies
        // one after the other.
        first.write("go\n");
        second.write("go\n");
        QVERIFY(first.waitForBytesWritten());
        QVERIFY(second.waitForBytesWritten());
        QList<qint64> handedOut;
        for (QProcess *taker : {&first, &second}) {
            QVERIFY(taker->waitForFinished(60000));
            QCOMPARE(taker->readAllStandardError(), QByteArray());
            QCOMPARE(taker->exitCode(), 0);
            const QList<qint64> ids = printedIds(*taker);
            QVERIFY(!ids.isEmpty());
            handedOut += ids;
        }
        std::sort(handedOut.begin(), handedOut.end());
        QCOMPARE(handedOut, range(1, 4000));
        QCOMPARE(practisedIds(m_bank), range(1, 4000));
    }
}

void TestStoreIntegrity::damagedIndex_isToldAndTheToolRepairsIt_data()
{
    QTest::addColumn<int>("practised");          // rows 1 to this are practised
    QTest::addColumn<int>("indexed");            // the index lost every entry after this row
    QTest::addColumn<QList<qint64>>("repaired"); // the set after the repair
    QTest::addRow("most of the index lost") << 0 << 60 << range(61, 160);
    QTest::addRow("one new question lost") << 450 << 499 << QList<qint64>{500};
}

void TestStoreIntegrity::damagedIndex_isToldAndTheToolRepairsIt()
{
    QFETCH(int, practised);
    QFETCH(int, indexed);
    QFETCH(QList<qint64>, repaired);
    // An index that lost its last entries, as a damaged page leaves it.
    makeBank(m_bank, 500, [=](int i) { return i < practised; });
    bank::Database db;
    QVERIFY(db.open(m_bank, bank::Database::OpenMode::Create));
    for (const QString &sql :
         {QStringLiteral("DROP INDEX kx_xx"),
          QStringLiteral("CREATE INDEX kx_xx ON kx (xx) WHERE id <= %1").arg(indexed),
          QStringLiteral("PRAGMA writable_schema = ON"),
          QStringLiteral("UPDATE sqlite_schema SET sql = 'CREATE INDEX kx_xx ON kx (xx)' "
                         "WHERE name = 'kx_xx'")})
        QVERIFY2(db.execute(sql), qPrintable(db.lastError()));
    db.close();
    QVERIFY(integrityCheck(m_bank) != QStringList{"ok"});

    QList<qint64> ids;
    const QString error = newPracticeError(m_bank, &ids);
    QVERIFY2(error.startsWith("题库文件 " + m_bank + " 已损坏\n"), qPrintable(error));
    QCOMPARE(ids, range(practised + 1, indexed));
    QCOMPARE(newPracticeError(m_bank), error);

    const QByteArray damaged = fileHash(m_bank);
    QProcess tool;
    tool.start(KELVARO_BANK_TOOL, {"repair", m_bank});
    QVERIFY(tool.waitForFinished());
    QCOMPARE(tool.readAllStandardError(), QByteArray());
    QCOMPARE(tool.exitCode(), 0);
    const QStringList backups = QDir(m_dir->path()).entryList({"kxst.db.backup-*"});
    QCOMPARE(backups.size(), 1);
    QCOMPARE(fileHash(m_dir->filePath(backups.first())), damaged);
    QCOMPARE(integrityCheck(m_bank), QStringList{"ok"});

    ids.clear();
    QCOMPARE(newPracticeError(m_bank, &ids), QString());
    QCOMPARE(ids, repaired);
}

void TestStoreIntegrity::post_leavesARowAnotherCopyTook_data()
{
    QTest::addColumn<QString>("meanwhile");
    QTest::addColumn<bool>("counted"); // whether the rows are counted after that
    QTest::addColumn<bool>("posted");
    QTest::addColumn<QList<qint64>>("marks");
    QTest::addRow("another copy took it")
        << "UPDATE kx SET xx = 1 WHERE id = 1" << false << false << QList<qint64>{1, 0, 0};
    // The count leaves the row out: no index misled the query about it.
    QTest::addRow("another copy took it, then the rows were counted")
        << "UPDATE kx SET xx = 1 WHERE id = 1" << true << false << QList<qint64>{1, 0, 0};
    QTest::addRow("another copy took the next")
        << "UPDATE kx SET xx = 1 WHERE id = 2" << false << true << QList<qint64>{1, 1, 0};
    QTest::addRow("another copy changed its text")
        << "UPDATE kx SET tm = 'x' WHERE id = 1" << false << true << QList<qint64>{1, 0, 0};
}

void TestStoreIntegrity::post_leavesARowAnotherCopyTook()
{
    QFETCH(QString, meanwhile);
    QFETCH(bool, counted);
    QFETCH(bool, posted);
    QFETCH(QList<qint64>, marks);
    makeBank(m_bank, 3);
    BankSession session(m_bank);
    QVERIFY(session.connected);
    bank::Query &query = session.query;
    QVERIFY(OpenTableWhere(query, bank::kQuestionTable, "xx=0"));
    runSql(m_bank, meanwhile);
    if (counted)
        QCOMPARE(query.recordCount(), 2);
    QCOMPARE(query.fieldAsInteger("id"), 1);
    query.edit();
    query.setFieldValue("xx", 1);
    QCOMPARE(query.post(), posted);
    QCOMPARE(xxValues(m_bank), marks);
}

void TestStoreIntegrity::rowList_isReadAgainAfterAnyoneElseWrites_data()
{
    QTest::addColumn<QString>("writer");
    QTest::addColumn<bool>("mostlyPractised");
    for (const bool mostly : {true, false}) {
        const char *shape = mostly ? "mostly practised" : "mostly new";
        for (const char *writer :
             {"nobody", "another connection", "another statement", "this query",
              "this query, rolled back", "this query, a NULL mark"})
            QTest::addRow("%s, %s", writer, shape) << QString::fromLatin1(writer) << mostly;
    }
}

void TestStoreIntegrity::rowList_isReadAgainAfterAnyoneElseWrites()
{
    QFETCH(QString, writer);
    QFETCH(bool, mostlyPractised);
    // Rows 8, 508, 1008, ... are the exceptions: enough of the rest for either kind of list.
    makeBank(m_bank, 3000, [=](int i) { return (i % 500 == 7) != mostlyPractised; });
    BankSession session(m_bank);
    QVERIFY(session.connected);
    bank::Query &query = session.query;
    QVERIFY(OpenTableWhere(query, bank::kQuestionTable, "xx=1"));
    QCOMPARE(numbered(query), tablePractised(m_bank));

    // One row each way: the first new row is marked, a practised one cleared.
    const qint64 firstNew = mostlyPractised ? 8 : 1;
    const qint64 practisedOne = mostlyPractised ? 1000 : 1008;
    const QString flip = QStringLiteral("UPDATE kx SET xx = 1 - xx WHERE id IN (%1, %2)")
                             .arg(firstNew)
                             .arg(practisedOne);
    const auto markThroughTheQuery = [&] {
        QVERIFY(OpenTableWhere(query, bank::kQuestionTable, "xx=0"));
        QCOMPARE(query.fieldAsInteger("id"), firstNew);
        query.edit();
        query.setFieldValue("xx", 1);
        QVERIFY(query.post());
        QVERIFY(OpenTable(query, bank::kQuestionTable));
        while (query.fieldAsInteger("id") != practisedOne)
            query.next();
        query.edit();
        query.setFieldValue("xx", 0);
        QVERIFY(query.post());
    };
    const QList<qint64> before = tablePractised(m_bank);
    if (writer == "another connection") {
        runSql(m_bank, flip);
    } else if (writer == "another statement") {
        QVERIFY(session.connection.database().execute(flip));
    } else if (writer == "this query") {
        markThroughTheQuery();
    } else if (writer == "this query, rolled back") {
        bank::WriteTransaction rolledBack(session.connection);
        markThroughTheQuery();
    } else if (writer == "this query, a NULL mark") {
        // Written through the very list it leaves.
        query.edit();
        query.setFieldValue("xx", QVariant());
        QVERIFY(query.post());
    }
    QCOMPARE(tablePractised(m_bank) == before,
             writer == "nobody" || writer == "this query, rolled back");

    QVERIFY(OpenTableWhere(query, bank::kQuestionTable, "xx=1"));
    QCOMPARE(numbered(query), tablePractised(m_bank));
}

void TestStoreIntegrity::review_listsTheShorterSideAsTheTableHasIt_data()
{
    QTest::addColumn<bool>("mostlyPractised");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("indexCovers"); // while `sql` runs; empty: every row
    QTest::addColumn<QString>("damage");      // what the error names; empty: none
    QTest::addRow("a NULL mark among many practised")
        << true << "UPDATE kx SET xx = NULL WHERE id = 1200"
        << ""
        << "";
    QTest::addRow("marks neither 0 nor 1 among many practised")
        << true
        << "UPDATE kx SET xx = CASE id WHEN 5 THEN 2 WHEN 6 THEN -1 ELSE 'x' END "
           "WHERE id IN (5, 6, 9)"
        << ""
        << "";
    // Stale entries, not missing ones: the index has every row, some under an old mark.
    QTest::addRow("stale index: a practised row indexed as new")
        << true << "UPDATE kx SET xx = 1 WHERE id = 8"
        << "0"
        << "与表中第 8 行不符";
    QTest::addRow("stale index: a new row indexed as practised")
        << false << "UPDATE kx SET xx = 0 WHERE id = 8"
        << "0"
        << "与表中第 8 行不符";
    QTest::addRow("stale index: a practised row indexed as new, among many new")
        << false << "UPDATE kx SET xx = 1 WHERE id = 9"
        << "0"
        << "与表中的行数不符";
    QTest::addRow("stale index: a new row indexed as practised, among many practised")
        << true << "UPDATE kx SET xx = 0 WHERE id = 1200"
        << "0"
        << "与表中第 1200 行不符";
    // Row 8 keeps its entry under 0 and gains one under 2; row 9 loses its only
    // one, so the index still counts as many entries as the table has rows.
    QTest::addRow("stale index: a row indexed under two marks")
        << true << "UPDATE kx SET xx = CASE id WHEN 8 THEN 2 ELSE 0 END WHERE id IN (8, 9)"
        << "xx <> 0"
        << "与表中第 8 行不符";
}

void TestStoreIntegrity::review_listsTheShorterSideAsTheTableHasIt()
{
    QFETCH(bool, mostlyPractised);
    QFETCH(QString, sql);
    QFETCH(QString, indexCovers);
    QFETCH(QString, damage);
    makeBank(m_bank, 3000, [=](int i) { return (i % 500 == 7) != mostlyPractised; });
    if (indexCovers.isEmpty())
        runSql(m_bank, sql);
    else
        writeBehindTheIndex(m_bank, sql, indexCovers);
    QCOMPARE(integrityCheck(m_bank) == QStringList{"ok"}, damage.isEmpty());

    // A review draws a hundred rows; walking them all reaches every row it could draw.
    QString error = reviewError(m_bank);
    BankSession session(m_bank);
    QVERIFY(session.connected);
    QVERIFY(OpenTableWhere(session.query, bank::kQuestionTable, "xx=1"));
    QList<qint64> listed;
    try {
        listed = numbered(session.query);
    } catch (const bank::BankError &e) {
        if (error.isEmpty())
            error = e.message();
    }
    if (!damage.isEmpty()) {
        QVERIFY2(error.startsWith("题库文件 " + m_bank + " 已损坏\n") && error.contains(damage),
                 qPrintable(error));
        return;
    }
    QCOMPARE(error, QString());
    QCOMPARE(listed, tablePractised(m_bank));
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && std::strcmp(argv[1], kTakerSwitch) == 0)
        return takeSets(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt());
    TestStoreIntegrity test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_storeintegrity.moc"

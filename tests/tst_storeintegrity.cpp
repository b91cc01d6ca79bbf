// The bank under a second copy of the program, a crash at any moment and a
// damaged file. The copies are this executable started again in taker mode.

#include "bank/bankerror.h"
#include "bank/connection.h"
#include "bank/database.h"
#include "bank/query.h"
#include "bank/store.h"
#include "practice/drill.h"
#include "practice/frontend.h"
#include "tests/support/bankfixture.h"

#include <QCoreApplication>
#include <QDir>
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

QString newPracticeError(const QString &path, QList<qint64> *ids = nullptr)
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
        drill.newPractice(query);
    } catch (const bank::BankError &e) {
        error = e.message();
    }
    for (int i = 0; ids && i < drill.set().tmcount; ++i)
        ids->append(drill.set().tmlist[size_t(i)].id);
    return error;
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
    void damagedIndex_isToldAndTheToolRepairsIt();

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
    QCOMPARE(taker.readLine(), QByteArray("ready\n"));
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
    qint64 marked = 0;
    for (int round = 0; round < 20; ++round) {
        QProcess taker;
        startTaker(taker, 0);
        taker.write("go\n");
        QTest::qWait(QRandomGenerator::global()->bounded(1, 40));
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
    QVERIFY(marked > 0);

    QProcess taker;
    startTaker(taker, 1);
    taker.write("go\n");
    QVERIFY(taker.waitForFinished());
    QCOMPARE(taker.exitCode(), 0);
    QCOMPARE(printedIds(taker), range(marked + 1, marked + 100));
}

void TestStoreIntegrity::newPractice_twoCopiesNeverHandOutAQuestionTwice()
{
    makeBank(m_bank, 4000);
    QProcess first;
    QProcess second;
    startTaker(first, 20);
    startTaker(second, 20);
    first.write("go\n");
    second.write("go\n");
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

void TestStoreIntegrity::damagedIndex_isToldAndTheToolRepairsIt()
{
    // An index that lost every entry after row 60, as a damaged page leaves it.
    makeBank(m_bank, 500);
    bank::Database db;
    QVERIFY(db.open(m_bank, bank::Database::OpenMode::Create));
    for (const char *sql :
         {"DROP INDEX kx_xx", "CREATE INDEX kx_xx ON kx (xx) WHERE id <= 60",
          "PRAGMA writable_schema = ON",
          "UPDATE sqlite_schema SET sql = 'CREATE INDEX kx_xx ON kx (xx)' WHERE name = 'kx_xx'"})
        QVERIFY2(db.execute(QString::fromLatin1(sql)), qPrintable(db.lastError()));
    db.close();
    QVERIFY(integrityCheck(m_bank) != QStringList{"ok"});

    QList<qint64> ids;
    const QString error = newPracticeError(m_bank, &ids);
    QVERIFY2(error.contains("已损坏") && error.contains("kelvaro-bank repair " + m_bank),
             qPrintable(error));
    QCOMPARE(ids, range(1, 60));
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
    QCOMPARE(ids, range(61, 160));
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

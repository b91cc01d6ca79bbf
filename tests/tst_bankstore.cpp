#include "bank/bankerror.h"
#include "bank/bankfile.h"
#include "bank/connection.h"
#include "bank/query.h"
#include "bank/store.h"
#include "bank/transaction.h"
#include "tests/support/bankfixture.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace testsupport;

namespace {

// Every file in a folder with its hash, to prove that nothing was written.
QMap<QString, QByteArray> snapshotFolder(const QString &folder)
{
    QMap<QString, QByteArray> files;
    const QDir dir(folder);
    for (const QString &name :
         dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System))
        files.insert(name, fileHash(dir.filePath(name)));
    return files;
}

QByteArray metaValue(const QString &path, const QString &name)
{
    bank::Database db;
    if (!db.open(path, bank::Database::OpenMode::ReadOnly))
        return {};
    bank::Statement read(db, QStringLiteral("SELECT value FROM kelvaro_meta WHERE name = ?1"));
    read.bindText(1, name);
    return read.step() ? read.blobValue(0) : QByteArray();
}

// Rewrites the stored password hash of a bank through `change`.
void alterPasswordHash(const QString &path, const std::function<void(QByteArray &)> &change)
{
    QByteArray hash = metaValue(path, QStringLiteral("password_hash"));
    QVERIFY(!hash.isEmpty());
    change(hash);
    runSql(path,
           QStringLiteral("UPDATE kelvaro_meta SET value = X'%1' WHERE name = 'password_hash'")
               .arg(QString::fromLatin1(hash.toHex())));
}

QString errorOf(const std::function<void()> &operation)
{
    try {
        operation();
    } catch (const bank::BankError &error) {
        return error.message();
    }
    return {};
}

} // namespace

class TestBankStore : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void connect_opensAGoodBank();
    void connect_failsWithoutTouchingAnything_data();
    void connect_failsWithoutTouchingAnything();
    void connect_opensABankWrittenWithTheEarlierCost();
    void connect_findsAPathWithChineseFolders();
    void connect_keepsNoPasswordInClear();

    void query_walksRowsInStoreOrder();
    void query_emptyTableIsAtEndAtOnce();
    void query_positionsByRecordNumber();
    void query_positionsAcrossHolesInRowIds();
    void query_numbersTheMatchesHoweverTheyLie_data();
    void query_numbersTheMatchesHoweverTheyLie();
    void query_readsNullAsZeroAndEmpty();
    void query_refusesValuesThatAreNotIntegers();
    void query_everyRecordOperationFailsWhileClosed();
    void query_refusesStatementsItDoesNotUnderstand_data();
    void query_refusesStatementsItDoesNotUnderstand();

    void post_writesToTheFileAtOnce();
    void post_isSeenByTheNextOpen();
    void post_keepsEditedRowsInTheOpenResult();
    void post_failureLeavesEarlierRowsWritten();
    void post_failsOnAReadOnlyConnection();
    void closingTheConnectionClosesTheQuery();

    void writeBank_neverReplacesAFile();
    void writeBank_namesAValueSQLiteCannotStore_data();
    void writeBank_namesAValueSQLiteCannotStore();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_bank;
};

void TestBankStore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_bank = m_dir->filePath(QStringLiteral("kxst.db"));
}

void TestBankStore::connect_opensAGoodBank()
{
    makeBank(m_bank, 12);
    bank::Connection connection;
    QVERIFY(ConnectAccessDb(connection, m_bank, bank::kBankPassword));
    QVERIFY(connection.isConnected());
    QVERIFY(!connection.loginPrompt());
    bank::Query query;
    query.setConnection(&connection);
    QVERIFY(OpenTable(query, bank::kQuestionTable));
    QCOMPARE(query.recordCount(), 12);
    QCOMPARE(query.sql(), QStringList{QStringLiteral("select * from kx")});
}

void TestBankStore::connect_failsWithoutTouchingAnything_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::addRow("missing file") << "missing"
                                  << "找不到题库文件";
    QTest::addRow("wrong password, the file named") << "password"
                                                    << "题库密码不对：题库文件 " + QDir::tempPath();
    // Only the first byte differs, so a comparison of a part of the hash lets it in.
    QTest::addRow("hash differs in its first byte") << "hashFirstByte"
                                                    << "题库密码不对";
    QTest::addRow("hash of another length") << "hashLength"
                                            << "题库密码不对";
    QTest::addRow("another application id") << "applicationId"
                                            << "不是本程序的题库文件";
    QTest::addRow("foreign sqlite file") << "foreign"
                                         << "不是本程序的题库文件";
    QTest::addRow("random bytes") << "random"
                                  << "不是本程序的题库文件";
    QTest::addRow("empty file") << "empty"
                                << "不是本程序的题库文件";
    QTest::addRow("folder named kxst.db") << "folder"
                                          << "是文件夹";
    // Refused before anything is computed: such a cost would freeze the start.
    QTest::addRow("password cost beyond ours") << "cost"
                                               << "不是本程序的题库文件";
    QTest::addRow("newer format") << "newer"
                                  << "新版程序";
    QTest::addRow("legacy Jet database") << "jet"
                                         << "是旧版程序的题库";
}

void TestBankStore::connect_failsWithoutTouchingAnything()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QString password = bank::kBankPassword;
    if (kind == QLatin1String("password")) {
        makeBank(m_bank, 3);
        password = QStringLiteral("zkq.mvtrpw.xqZ");
    } else if (kind == QLatin1String("hashFirstByte")) {
        makeBank(m_bank, 3);
        alterPasswordHash(m_bank, [](QByteArray &hash) { hash[0] = char(hash.at(0) ^ 0x01); });
    } else if (kind == QLatin1String("hashLength")) {
        makeBank(m_bank, 3);
        alterPasswordHash(m_bank, [](QByteArray &hash) { hash.append(hash.right(1)); });
    } else if (kind == QLatin1String("applicationId")) {
        makeBank(m_bank, 3);
        runSql(m_bank, QStringLiteral("PRAGMA application_id = 1"));
    } else if (kind == QLatin1String("foreign")) {
        runSql(m_bank, QStringLiteral("CREATE TABLE kx (id, tm, da, xx)"));
    } else if (kind == QLatin1String("random") || kind == QLatin1String("empty")) {
        QFile file(m_bank);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QByteArray bytes(kind == QLatin1String("random") ? 8192 : 0, Qt::Uninitialized);
        for (auto &byte : bytes)
            byte = char(QRandomGenerator::global()->bounded(256));
        file.write(bytes);
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("kxst.db")));
    } else if (kind == QLatin1String("cost")) {
        makeBank(m_bank, 3);
        runSql(m_bank, QStringLiteral("UPDATE kelvaro_meta SET value = CAST('10000000' AS BLOB) "
                                      "WHERE name = 'password_iterations'"));
    } else if (kind == QLatin1String("newer")) {
        makeBank(m_bank, 3);
        runSql(m_bank, QStringLiteral("PRAGMA user_version = 99"));
    } else if (kind == QLatin1String("jet")) {
        const QString source = QStringLiteral(KELVARO_FIXTURES "/legacy/access2000-password.mdb");
        if (!QFile::exists(source))
            QSKIP("legacy fixtures are not beside this checkout");
        QVERIFY(QFile::copy(source, m_bank));
        QFile::setPermissions(m_bank, QFile::ReadOwner | QFile::WriteOwner);
    }

    const auto before = snapshotFolder(m_dir->path());
    bank::Connection connection;
    QVERIFY(!ConnectAccessDb(connection, m_bank, password));
    QVERIFY(!connection.isConnected());
    QVERIFY2(connection.failureReason().contains(reason), qPrintable(connection.failureReason()));
    // The window offers a conversion for this very file, and points the way for the others.
    const QHash<QString, bank::Problem> problems = {{"jet", bank::Problem::OldFormat},
                                                    {"missing", bank::Problem::Missing},
                                                    {"password", bank::Problem::WrongPassword},
                                                    {"hashFirstByte", bank::Problem::WrongPassword},
                                                    {"hashLength", bank::Problem::WrongPassword}};
    QCOMPARE(connection.failure().problem(), problems.value(kind, bank::Problem::NotOpen));
    QCOMPARE(connection.failure().path(), m_bank);

    bank::Query query;
    query.setConnection(&connection);
    QVERIFY(!OpenTable(query, bank::kQuestionTable));
    QVERIFY(!query.isActive());
    const QString error = errorOf([&] { query.first(); });
    QVERIFY2(error.startsWith(QStringLiteral("题库没有打开：")), qPrintable(error));
    QVERIFY2(error.contains(reason), qPrintable(error));

    QCOMPARE(snapshotFolder(m_dir->path()), before);
}

void TestBankStore::connect_opensABankWrittenWithTheEarlierCost()
{
    makeBank(m_bank, 3);
    const QByteArray salt = metaValue(m_bank, QStringLiteral("password_salt"));
    QVERIFY(!salt.isEmpty());
    runSql(m_bank, QStringLiteral("UPDATE kelvaro_meta SET value = CAST('12000' AS BLOB) "
                                  "WHERE name = 'password_iterations'"));
    alterPasswordHash(m_bank, [&](QByteArray &hash) {
        hash = bank::derivePasswordHash(bank::kBankPassword, salt, 12000);
    });
    bank::Connection connection;
    QVERIFY2(ConnectAccessDb(connection, m_bank, bank::kBankPassword),
             qPrintable(connection.failureReason()));
    QVERIFY(!ConnectAccessDb(connection, m_bank, QStringLiteral("zkq.mvtrpw.xqZ")));
}

void TestBankStore::connect_findsAPathWithChineseFolders()
{
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("练习 题库/第一册")));
    const QString path = m_dir->filePath(QStringLiteral("练习 题库/第一册/kxst.db"));
    makeBank(path, 4);
    bank::Connection connection;
    QVERIFY(ConnectAccessDb(connection, path, bank::kBankPassword));
}

void TestBankStore::connect_keepsNoPasswordInClear()
{
    makeBank(m_bank, 2);
    QFile file(m_bank);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(!bytes.contains(bank::kBankPassword.toUtf8()));
    QVERIFY(!bytes.contains(bank::kBankPassword.toLatin1().toBase64()));
}

void TestBankStore::query_walksRowsInStoreOrder()
{
    makeBank(m_bank, 6, {}, {}, 40);
    testsupport::BankSession session(m_bank);
    QVERIFY(session.connected);
    bank::Query &query = session.query;
    QVERIFY(OpenTable(query, QStringLiteral("kx")));
    QList<int> ids;
    for (query.first(); !query.atEnd(); query.next())
        ids.append(query.fieldAsInteger(QStringLiteral("id")));
    QCOMPARE(ids, (QList<int>{40, 41, 42, 43, 44, 45}));
    query.next(); // moving on at the end stays at the end
    QVERIFY(query.atEnd());
    QVERIFY(!errorOf([&] { query.fieldAsString(QStringLiteral("tm")); }).isEmpty());
}

void TestBankStore::query_emptyTableIsAtEndAtOnce()
{
    makeBank(m_bank, 0);
    testsupport::BankSession session(m_bank);
    QVERIFY(session.connected);
    bank::Query &query = session.query;
    QVERIFY(OpenTable(query, QStringLiteral("kx")));
    QVERIFY(query.atEnd());
    QCOMPARE(query.recordCount(), 0);
    query.first();
    QVERIFY(query.atEnd());
    QVERIFY(!errorOf([&] { query.setRecordNumber(1); }).isEmpty());
}

void TestBankStore::query_positionsByRecordNumber()
{
    makeBank(m_bank, 30, [](int i) { return i % 3 == 0; });
    testsupport::BankSession session(m_bank);
    QVERIFY(session.connected);
    bank::Query &query = session.query;

    QVERIFY(OpenTableWhere(query, QStringLiteral("kx"), QStringLiteral("xx=1")));
    QCOMPARE(query.recordCount(), 10);
    query.setRecordNumber(4); // ids 1, 4, 7, 10, ... are practised
    QCOMPARE(query.fieldAsInteger(QStringLiteral("id")), 10);
    QCOMPARE(query.recordNumber(), 4);
    QCOMPARE(query.fieldAsString(QStringLiteral("TM")), questionFor(10));
    QCOMPARE(query.fieldAsString(QStringLiteral("da")), answerFor(10));
    query.next();
    QCOMPARE(query.fieldAsInteger(QStringLiteral("id")), 13);
    QVERIFY(!errorOf([&] { query.setRecordNumber(0); }).isEmpty());
    QVERIFY(!errorOf([&] { query.setRecordNumber(11); }).isEmpty());

    QVERIFY(OpenTable(query, QStringLiteral("kx")));
    QCOMPARE(query.recordCount(), 30);
    query.setRecordNumber(30);
    QCOMPARE(query.fieldAsInteger(QStringLiteral("id")), 30);
    query.next();
    QVERIFY(query.atEnd());
    QCOMPARE(query.recordNumber(), 0);
}

void TestBankStore::query_numbersTheMatchesHoweverTheyLie_data()
{
    QTest::addColumn<int>("every");
    QTest::addColumn<bool>("practisedOnes");
    // Each kind of snapshot: a list of the matches, or all rows but a list.
    QTest::addRow("a few practised") << 700 << true;
    QTest::addRow("all but a few practised") << 700 << false;
    QTest::addRow("every other practised") << 2 << true;
}

void TestBankStore::query_numbersTheMatchesHoweverTheyLie()
{
    QFETCH(int, every);
    QFETCH(bool, practisedOnes);
    constexpr int kRows = 3000;
    const auto practised = [=](int i) { return ((i + 1) % every == 0) == practisedOnes; };
    makeBank(m_bank, kRows, practised);
    QList<int> expected;
    for (int i = 0; i < kRows; ++i)
        if (practised(i))
            expected.append(i + 1);
    testsupport::BankSession session(m_bank);
    QVERIFY(session.connected);
    bank::Query &query = session.query;

    QVERIFY(OpenTableWhere(query, QStringLiteral("kx"), QStringLiteral("xx=1")));
    QList<int> walked;
    for (query.first(); !query.atEnd(); query.next())
        walked.append(query.fieldAsInteger(QStringLiteral("id")));
    QCOMPARE(walked, expected);
    QCOMPARE(query.recordCount(), expected.size());
    for (int n = 1; n <= expected.size(); ++n) {
        query.setRecordNumber(n);
        QCOMPARE(query.fieldAsInteger(QStringLiteral("id")), expected.at(n - 1));
        QCOMPARE(query.recordNumber(), n);
    }

    // A row edited out of the condition before the rows are counted stays in the snapshot.
    QVERIFY(OpenTableWhere(query, QStringLiteral("kx"), QStringLiteral("xx=1")));
    query.edit();
    query.setFieldValue(QStringLiteral("xx"), 0);
    QVERIFY(query.post());
    QCOMPARE(query.recordCount(), expected.size());
    query.setRecordNumber(1);
    QCOMPARE(query.fieldAsInteger(QStringLiteral("id")), expected.first());
    query.setRecordNumber(expected.size());
    QCOMPARE(query.fieldAsInteger(QStringLiteral("id")), expected.last());
    QVERIFY(OpenTableWhere(query, QStringLiteral("kx"), QStringLiteral("xx=1")));
    QCOMPARE(query.recordCount(), expected.size() - 1);

    // Later opens count the rows as they are now: brought up to date from this
    // query's own writes, or read again when a write was rolled back.
    const auto numbered = [&query] {
        QList<qint64> ids;
        for (int n = 1; n <= query.recordCount(); ++n) {
            query.setRecordNumber(n);
            ids.append(query.fieldAsInteger(QStringLiteral("id")));
        }
        return ids;
    };
    QCOMPARE(numbered(), practisedIds(m_bank));
    const auto markFirstNew = [&query] {
        QVERIFY(OpenTableWhere(query, QStringLiteral("kx"), QStringLiteral("xx=0")));
        query.edit();
        query.setFieldValue(QStringLiteral("xx"), 1);
        QVERIFY(query.post());
    };
    markFirstNew();
    QVERIFY(OpenTableWhere(query, QStringLiteral("kx"), QStringLiteral("xx=1")));
    QCOMPARE(numbered(), practisedIds(m_bank));
    {
        bank::WriteTransaction rolledBack(session.connection);
        markFirstNew();
    }
    QVERIFY(OpenTableWhere(query, QStringLiteral("kx"), QStringLiteral("xx=1")));
    QCOMPARE(numbered(), practisedIds(m_bank));
}

void TestBankStore::query_positionsAcrossHolesInRowIds()
{
    makeBank(m_bank, 10);
    runSql(m_bank, QStringLiteral("DELETE FROM kx WHERE id IN (1, 5, 6)"));
    testsupport::BankSession session(m_bank);
    QVERIFY(session.connected);
    bank::Query &query = session.query;
    QVERIFY(OpenTable(query, QStringLiteral("kx")));
    QCOMPARE(query.recordCount(), 7);
    QList<int> ids;
    for (int r = 1; r <= 7; ++r) {
        query.setRecordNumber(r);
        ids.append(query.fieldAsInteger(QStringLiteral("id")));
    }
    QCOMPARE(ids, (QList<int>{2, 3, 4, 7, 8, 9, 10}));
}

void TestBankStore::query_readsNullAsZeroAndEmpty()
{
    makeBank(m_bank, 2);
    runSql(m_bank, QStringLiteral("UPDATE kx SET tm = NULL, da = NULL, xx = NULL WHERE id = 2"));
    testsupport::BankSession session(m_bank);
    QVERIFY(session.connected);
    bank::Query &query = session.query;
    QVERIFY(OpenTable(query, QStringLiteral("kx")));
    query.setRecordNumber(2);
    QCOMPARE(query.fieldAsString(QStringLiteral("tm")), QString());
    QCOMPARE(query.fieldAsString(QStringLiteral("da")), QString());
    QCOMPARE(query.fieldAsInteger(QStringLiteral("xx")), 0);
    QCOMPARE(query.fieldAsString(QStringLiteral("id")), QStringLiteral("2"));
}

void TestBankStore::query_refusesValuesThatAreNotIntegers()
{
    makeBank(m_bank, 3);
    runSql(m_bank, QStringLiteral("UPDATE kx SET xx = 'x' WHERE id = 1; "));
    runSql(m_bank, QStringLiteral("UPDATE kx SET xx = 2147483648 WHERE id = 2"));
    runSql(m_bank, QStringLiteral("UPDATE kx SET xx = ' 7 ' WHERE id = 3"));
    testsupport::BankSession session(m_bank);
    QVERIFY(session.connected);
    bank::Query &query = session.query;
    QVERIFY(OpenTable(query, QStringLiteral("kx")));
    QVERIFY(errorOf([&] {
                query.fieldAsInteger(QStringLiteral("xx"));
            }).contains(QStringLiteral("不是整数")));
    query.next();
    QVERIFY(errorOf([&] {
                query.fieldAsInteger(QStringLiteral("xx"));
            }).contains(QStringLiteral("超出")));
    query.next();
    QCOMPARE(query.fieldAsInteger(QStringLiteral("xx")), 7);
    QVERIFY(errorOf([&] {
                query.fieldAsInteger(QStringLiteral("nosuch"));
            }).contains(QStringLiteral("nosuch")));
}

void TestBankStore::query_everyRecordOperationFailsWhileClosed()
{
    bank::Query query; // never connected
    const QList<std::function<void()>> operations = {
        [&] { query.first(); },
        [&] { query.next(); },
        [&] { query.atEnd(); },
        [&] { query.recordCount(); },
        [&] { query.recordNumber(); },
        [&] { query.setRecordNumber(1); },
        [&] { query.fieldAsInteger(QStringLiteral("id")); },
        [&] { query.fieldAsString(QStringLiteral("tm")); },
        [&] { query.edit(); },
        [&] { query.setFieldValue(QStringLiteral("xx"), 1); },
        [&] { query.post(); },
    };
    for (const auto &operation : operations) {
        const QString error = errorOf(operation);
        QVERIFY2(error.startsWith(QStringLiteral("题库没有打开：")), qPrintable(error));
    }

    // A query that was open and has been closed refuses just the same.
    makeBank(m_bank, 3);
    bank::Connection connection;
    QVERIFY(ConnectAccessDb(connection, m_bank, bank::kBankPassword));
    query.setConnection(&connection);
    QVERIFY(OpenTable(query, QStringLiteral("kx")));
    query.close();
    for (const auto &operation : operations)
        QVERIFY(errorOf(operation).startsWith(QStringLiteral("题库没有打开：")));
}

void TestBankStore::query_refusesStatementsItDoesNotUnderstand_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addRow("second statement") << "select * from kx; drop table kx";
    QTest::addRow("always-true condition") << "select * from kx where xx=0 or 1=1";
    QTest::addRow("text condition") << "select * from kx where tm='x'";
    QTest::addRow("unknown table") << "select * from nosuch";
    QTest::addRow("password table") << "select * from kelvaro_meta";
    QTest::addRow("sqlite's own table") << "select * from sqlite_master";
    QTest::addRow("unknown column") << "select * from kx where nosuch=1";
    QTest::addRow("update") << "update kx set xx=0";
}

void TestBankStore::query_refusesStatementsItDoesNotUnderstand()
{
    QFETCH(QString, sql);
    makeBank(m_bank, 3, [](int) { return true; });
    testsupport::BankSession session(m_bank);
    QVERIFY(session.connected);
    bank::Query &query = session.query;
    query.sql() = QStringList{sql};
    QVERIFY(!errorOf([&] { query.open(); }).isEmpty());
    QVERIFY(!query.isActive());
    QCOMPARE(xxValues(m_bank), (QList<qint64>{1, 1, 1}));
}

void TestBankStore::post_writesToTheFileAtOnce()
{
    makeBank(m_bank, 5);
    testsupport::BankSession session(m_bank);
    QVERIFY(session.connected);
    bank::Query &query = session.query;
    QVERIFY(OpenTable(query, QStringLiteral("kx")));
    query.setRecordNumber(2);
    query.edit();
    query.setFieldValue(QStringLiteral("xx"), 1);
    QCOMPARE(query.fieldAsInteger(QStringLiteral("xx")), 1); // the edit shows before the post
    QCOMPARE(xxValues(m_bank), (QList<qint64>{0, 0, 0, 0, 0}));
    query.post();
    QCOMPARE(xxValues(m_bank), (QList<qint64>{0, 1, 0, 0, 0}));
    QCOMPARE(query.fieldAsInteger(QStringLiteral("xx")), 1);

    // Assigning outside edit state is refused.
    QVERIFY(!errorOf([&] { query.setFieldValue(QStringLiteral("xx"), 1); }).isEmpty());
}

void TestBankStore::post_isSeenByTheNextOpen()
{
    makeBank(m_bank, 4);
    testsupport::BankSession session(m_bank);
    QVERIFY(session.connected);
    bank::Query &query = session.query;
    QVERIFY(OpenTableWhere(query, QStringLiteral("kx"), QStringLiteral("xx=0")));
    query.edit();
    query.setFieldValue(QStringLiteral("xx"), 1);
    query.post();
    QVERIFY(OpenTableWhere(query, QStringLiteral("kx"), QStringLiteral("xx=0")));
    QCOMPARE(query.recordCount(), 3);
    QCOMPARE(query.fieldAsInteger(QStringLiteral("id")), 2);
}

void TestBankStore::post_keepsEditedRowsInTheOpenResult()
{
    makeBank(m_bank, 8, [](int i) { return i == 2; });
    testsupport::BankSession session(m_bank);
    QVERIFY(session.connected);
    bank::Query &query = session.query;
    QVERIFY(OpenTableWhere(query, QStringLiteral("kx"), QStringLiteral("xx=0")));

    // Mark the first three rows while walking, as new-question practice does.
    QList<int> walked;
    for (int i = 0; i < 3; ++i) {
        walked.append(query.fieldAsInteger(QStringLiteral("id")));
        query.edit();
        query.setFieldValue(QStringLiteral("xx"), 1);
        query.post();
        query.next();
    }
    QCOMPARE(walked, (QList<int>{1, 2, 4}));
    QCOMPARE(query.fieldAsInteger(QStringLiteral("id")), 5);

    // The marked rows no longer match, yet they are still the result's rows.
    QCOMPARE(query.recordCount(), 7);
    query.first();
    QCOMPARE(query.fieldAsInteger(QStringLiteral("id")), 1);
    query.setRecordNumber(3);
    QCOMPARE(query.fieldAsInteger(QStringLiteral("id")), 4);
    query.setRecordNumber(7);
    QCOMPARE(query.fieldAsInteger(QStringLiteral("id")), 8);
}

void TestBankStore::post_failureLeavesEarlierRowsWritten()
{
    makeBank(m_bank, 6);
    runSql(m_bank, QStringLiteral("CREATE TRIGGER fail_four BEFORE UPDATE ON kx WHEN NEW.id = 4 "
                                  "BEGIN SELECT RAISE(ABORT, 'disk full'); END"));
    testsupport::BankSession session(m_bank);
    QVERIFY(session.connected);
    bank::Query &query = session.query;
    QVERIFY(OpenTableWhere(query, QStringLiteral("kx"), QStringLiteral("xx=0")));
    QString error;
    for (query.first(); !query.atEnd() && error.isEmpty(); query.next()) {
        error = errorOf([&] {
            query.edit();
            query.setFieldValue(QStringLiteral("xx"), 1);
            query.post();
        });
    }
    QVERIFY2(error.contains(QStringLiteral("disk full")), qPrintable(error));
    QCOMPARE(xxValues(m_bank), (QList<qint64>{1, 1, 1, 0, 0, 0}));
}

void TestBankStore::post_failsOnAReadOnlyConnection()
{
    makeBank(m_bank, 2);
    const QByteArray before = fileHash(m_bank);
    bank::Connection connection;
    connection.setConnectionString(
        QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Mode = Read;Data Source=%1;"
                       "Jet OLEDB:Database Password=%2")
            .arg(m_bank, bank::kBankPassword));
    connection.open();
    QVERIFY(connection.isReadOnly());
    bank::Query query;
    query.setConnection(&connection);
    QVERIFY(OpenTable(query, QStringLiteral("kx")));
    query.edit();
    query.setFieldValue(QStringLiteral("xx"), 1);
    // The Chinese line names the folder and what to do; SQLite's text follows it.
    const QString error = errorOf([&] { query.post(); });
    QVERIFY2(error.startsWith("写入题库失败：不允许在文件夹 " +
                              QDir::toNativeSeparators(m_dir->path()) + " 里修改题库 kxst.db。") &&
                 error.endsWith("\nattempt to write a readonly database"),
             qPrintable(error));
    QCOMPARE(fileHash(m_bank), before);
}

void TestBankStore::closingTheConnectionClosesTheQuery()
{
    makeBank(m_bank, 2);
    testsupport::BankSession session(m_bank);
    QVERIFY(session.connected);
    bank::Query &query = session.query;
    QVERIFY(OpenTable(query, QStringLiteral("kx")));
    session.connection.close();
    QVERIFY(!query.isActive());
    QVERIFY(errorOf([&] { query.first(); }).startsWith(QStringLiteral("题库没有打开：")));
}

void TestBankStore::writeBank_neverReplacesAFile()
{
    makeBank(m_bank, 2);
    const QByteArray before = fileHash(m_bank);
    QString error;
    QVERIFY(!bank::writeBank(
        m_bank, bank::kBankPassword, []() -> std::optional<bank::Question> { return {}; }, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(fileHash(m_bank), before);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("kxst.db")});
}

void TestBankStore::writeBank_namesAValueSQLiteCannotStore_data()
{
    QTest::addColumn<int>("longAt");
    QTest::addColumn<bool>("inAnswer");
    QTest::addColumn<QString>("reason");
    QTest::addRow("stem") << 2 << false << "第 2 条记录（id 为 2）的 tm 太长，SQLite 存不下";
    QTest::addRow("answer, no id")
        << 3 << true << "第 3 条记录（id 为空）的 da 太长，SQLite 存不下";
}

void TestBankStore::writeBank_namesAValueSQLiteCannotStore()
{
    QFETCH(int, longAt);
    QFETCH(bool, inAnswer);
    QFETCH(QString, reason);
    // 1,200 bytes of UTF-8 over a limit of 1,000 stand for a gigabyte over 10^9.
    bank::Database::lowerLengthLimit(1000);
    const auto restore = qScopeGuard([] { bank::Database::lowerLengthLimit(0); });
    int n = 0;
    QString error;
    const bool written = bank::writeBank(
        m_bank, bank::kBankPassword,
        [&]() -> std::optional<bank::Question> {
            if (++n > 4)
                return std::nullopt;
            bank::Question q{n == 3 ? std::nullopt : std::optional<qint64>(n), "题", "A", 0};
            if (n == longAt)
                (inAnswer ? q.da : q.tm) = QString(400, QChar(u'长'));
            return q;
        },
        &error);
    QVERIFY(!written);
    QCOMPARE(error, reason);
    QVERIFY(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

QTEST_GUILESS_MAIN(TestBankStore)
#include "tst_bankstore.moc"

#include "bank/bankimport.h"
#include "bank/connection.h"
#include "bank/csvreader.h"
#include "bank/query.h"
#include "bank/store.h"
#include "tests/support/bankfixture.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestCsvImport : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void reader_splitsRecords_data();
    void reader_splitsRecords();
    void reader_reportsTheLineOfABadRecord_data();
    void reader_reportsTheLineOfABadRecord();

    void import_writesEveryRowInOrder();
    void import_rejectsBadFilesAndWritesNothing_data();
    void import_rejectsBadFilesAndWritesNothing();
    void import_neverOverwritesABank();
    void demoBank_isWholeAndAnswersAreLetters();

private:
    QString writeCsv(const QByteArray &bytes);
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestCsvImport::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString TestCsvImport::writeCsv(const QByteArray &bytes)
{
    const QString path = m_dir->filePath(QStringLiteral("in.csv"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(bytes);
    return path;
}

void TestCsvImport::reader_splitsRecords_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<QStringList>>("records");
    using R = QList<QStringList>;
    QTest::addRow("plain") << "a,b\nc,d\n" << R{{"a", "b"}, {"c", "d"}};
    QTest::addRow("crlf and no final break") << "a,b\r\nc,d" << R{{"a", "b"}, {"c", "d"}};
    QTest::addRow("quoted comma") << "\"a,b\",c\n" << R{{"a,b", "c"}};
    QTest::addRow("doubled quote") << "\"say \"\"hi\"\"\",x\n" << R{{"say \"hi\"", "x"}};
    QTest::addRow("field across lines") << "1,\"q\nA.x\r\nB.y\",B\n"
                                        << R{{"1", "q\nA.x\r\nB.y", "B"}};
    QTest::addRow("empty fields") << ",,\n" << R{{"", "", ""}};
    QTest::addRow("byte order mark") << QStringLiteral("\uFEFFid,tm\n") << R{{"id", "tm"}};
    QTest::addRow("chinese") << "题目,答案\n" << R{{"题目", "答案"}};
}

void TestCsvImport::reader_splitsRecords()
{
    QFETCH(QString, text);
    QFETCH(QList<QStringList>, records);
    bank::CsvReader reader(text);
    QList<QStringList> read;
    QStringList fields;
    while (reader.readRecord(fields))
        read.append(fields);
    QVERIFY2(reader.error().isEmpty(), qPrintable(reader.error()));
    QCOMPARE(read, records);
}

void TestCsvImport::reader_reportsTheLineOfABadRecord_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("line");
    QTest::addRow("unclosed quote") << "a\nb\n\"c\nd\n" << 3;
    QTest::addRow("quote in bare field") << "a\nb\"c\n" << 2;
    QTest::addRow("text after closing quote") << "x\n\"a\nb\"c,d\n" << 2;
}

void TestCsvImport::reader_reportsTheLineOfABadRecord()
{
    QFETCH(QString, text);
    QFETCH(int, line);
    bank::CsvReader reader(text);
    QStringList fields;
    while (reader.readRecord(fields)) {
    }
    QVERIFY(!reader.error().isEmpty());
    QCOMPARE(reader.recordLine(), line);
}

void TestCsvImport::import_writesEveryRowInOrder()
{
    const QString csv = writeCsv("\xEF\xBB\xBFid,tm,da,xx\r\n"
                                 "7,\"1+1=?\r\nA.1\r\nB.2\",B,0\r\n"
                                 "3,\"含 \"\"引号\"\" 和,逗号\",ABCD,1\r\n"
                                 "\r\n"
                                 "2147483647,,,-2147483648\r\n");
    const QString bankPath = m_dir->filePath(QStringLiteral("kxst.db"));
    int rows = 0;
    QCOMPARE(bank::importCsv(csv, bankPath, bank::kBankPassword, &rows), QString());
    QCOMPARE(rows, 3);

    testsupport::BankSession session(bankPath);
    QVERIFY(session.connected);
    bank::Query &query = session.query;
    QVERIFY(OpenTable(query, QStringLiteral("kx")));
    QCOMPARE(query.fieldAsInteger(QStringLiteral("id")), 7);
    QCOMPARE(query.fieldAsString(QStringLiteral("tm")), QStringLiteral("1+1=?\r\nA.1\r\nB.2"));
    query.next();
    QCOMPARE(query.fieldAsString(QStringLiteral("tm")), QStringLiteral("含 \"引号\" 和,逗号"));
    QCOMPARE(query.fieldAsString(QStringLiteral("da")), QStringLiteral("ABCD"));
    QCOMPARE(query.fieldAsInteger(QStringLiteral("xx")), 1);
    query.next();
    QCOMPARE(query.fieldAsInteger(QStringLiteral("id")), 2147483647);
    QCOMPARE(query.fieldAsInteger(QStringLiteral("xx")), -2147483647 - 1);
    query.next();
    QVERIFY(query.atEnd());
}

void TestCsvImport::import_rejectsBadFilesAndWritesNothing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    QTest::addRow("wrong header") << QByteArray("id,question,da,xx\n1,q,A,0\n") << "第 1 行";
    QTest::addRow("three fields") << QByteArray("id,tm,da,xx\n1,q,A,0\n2,q,B\n") << "第 3 行";
    QTest::addRow("id not a number") << QByteArray("id,tm,da,xx\nx1,q,A,0\n") << "第 2 行";
    QTest::addRow("xx too large") << QByteArray("id,tm,da,xx\n1,q,A,4294967296\n") << "第 2 行";
    QTest::addRow("bad line after a long field")
        << QByteArray("id,tm,da,xx\n1,\"a\nb\nc\",A,0\n2,q,A,zero\n") << "第 5 行";
    QTest::addRow("unclosed quote") << QByteArray("id,tm,da,xx\n1,\"q,A,0\n") << "第 2 行";
    QTest::addRow("not utf-8") << QByteArray("id,tm,da,xx\n1,\xCC\xE2,A,0\n") << "UTF-8";
    QTest::addRow("empty file") << QByteArray() << "标题行";
}

void TestCsvImport::import_rejectsBadFilesAndWritesNothing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    const QString csv = writeCsv(bytes);
    const QString bankPath = m_dir->filePath(QStringLiteral("kxst.db"));
    const QString error = bank::importCsv(csv, bankPath, bank::kBankPassword);
    QVERIFY2(error.contains(message), qPrintable(error));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("in.csv")});
}

void TestCsvImport::import_neverOverwritesABank()
{
    const QString bankPath = m_dir->filePath(QStringLiteral("kxst.db"));
    testsupport::makeBank(bankPath, 3);
    const QByteArray before = testsupport::fileHash(bankPath);
    const QString csv = writeCsv("id,tm,da,xx\n1,q,A,0\n");
    QVERIFY(
        bank::importCsv(csv, bankPath, bank::kBankPassword).contains(QStringLiteral("不会覆盖")));
    QCOMPARE(testsupport::fileHash(bankPath), before);
}

void TestCsvImport::demoBank_isWholeAndAnswersAreLetters()
{
    const QString bankPath = m_dir->filePath(QStringLiteral("kxst.db"));
    int rows = 0;
    QCOMPARE(
        bank::importCsv(QStringLiteral(KELVARO_DEMO_CSV), bankPath, bank::kBankPassword, &rows),
        QString());
    QVERIFY(rows >= 200);
    testsupport::BankSession session(bankPath);
    QVERIFY(session.connected);
    bank::Query &query = session.query;
    QVERIFY(OpenTableWhere(query, QStringLiteral("kx"), QStringLiteral("xx=0")));
    QCOMPARE(query.recordCount(), rows);
    for (query.first(); !query.atEnd(); query.next()) {
        const QString da = query.fieldAsString(QStringLiteral("da"));
        const QStringList lines =
            query.fieldAsString(QStringLiteral("tm")).split(QLatin1Char('\n'));
        QVERIFY2(da.size() == 1 && QStringLiteral("ABCD").contains(da), qPrintable(da));
        QCOMPARE(lines.size(), 5);
        for (int i = 0; i < 4; ++i)
            QVERIFY(lines.at(i + 1).startsWith(QString(QChar(u'A' + i)) + QLatin1Char('.')));
    }
}

QTEST_GUILESS_MAIN(TestCsvImport)
#include "tst_csvimport.moc"

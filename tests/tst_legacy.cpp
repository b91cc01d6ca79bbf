#include "authoring/jetheader.h"
#include "authoring/legacysource.h"
#include "tests/support/bankfixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <functional>

using namespace testsupport;

namespace {

const QString kLegacyFixtures = QStringLiteral(KELVARO_FIXTURES "/legacy/");
const QString kEdgeCases = QStringLiteral("kx-edge-cases.jet4");

QMap<QString, QByteArray> snapshotFolder(const QString &folder)
{
    QMap<QString, QByteArray> files;
    const QDir dir(folder);
    for (const QString &name :
         dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System))
        files.insert(name, fileHash(dir.filePath(name)));
    return files;
}

// Every record of a legacy bank, or nothing with `error` set.
QList<authoring::SourceRecord> readAll(const QString &path, QString *error,
                                       const QString &password = QString())
{
    authoring::SourceOptions options;
    options.legacyPassword = password;
    const auto source = authoring::openLegacySource(path, options, error);
    if (!source)
        return {};
    QList<authoring::SourceRecord> records;
    authoring::SourceRecord record;
    while (source->next(record))
        records << record;
    *error = source->error();
    return records;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

using Patch = std::function<void(QByteArray &)>;

} // namespace

Q_DECLARE_METATYPE(Patch)

class TestLegacy : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void import_keepsEveryRowInStoreOrder();
    void import_keepsSpecialValuesExactly_data();
    void import_keepsSpecialValuesExactly();
    void import_keepsNumberedRowsExactly();
    void import_leavesTheFileAlone();
    void import_failsNamingWhatItCannotRead_data();
    void import_failsNamingWhatItCannotRead();

    void header_readsThePasswordAccessStored_data();
    void header_readsThePasswordAccessStored();
    void open_checksThePassword_data();
    void open_checksThePassword();
    void open_refusesOtherFormats_data();
    void open_refusesOtherFormats();

private:
    QString copyFixture(const QString &name);

    std::unique_ptr<QTemporaryDir> m_dir;
    QHash<qint64, authoring::SourceRecord> m_byId;
    QList<qint64> m_ids;
    QString m_importError;
};

void TestLegacy::initTestCase()
{
    if (!QFile::exists(kLegacyFixtures + kEdgeCases))
        QSKIP("legacy fixtures are not beside this checkout");
    QTemporaryDir dir;
    QVERIFY(QFile::copy(kLegacyFixtures + kEdgeCases, dir.filePath(kEdgeCases)));
    for (const auto &record : readAll(dir.filePath(kEdgeCases), &m_importError)) {
        QVERIFY(record.question && record.question->id);
        QCOMPARE(record.location, m_ids.size() + 1);
        m_ids << *record.question->id;
        m_byId.insert(*record.question->id, record);
    }
}

void TestLegacy::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString TestLegacy::copyFixture(const QString &name)
{
    const QString copy = m_dir->filePath(name);
    if (!QFile::copy(kLegacyFixtures + name, copy))
        return {};
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    return copy;
}

void TestLegacy::import_keepsEveryRowInStoreOrder()
{
    QVERIFY2(m_importError.isEmpty(), qPrintable(m_importError));
    QList<qint64> expected{1, 2, 3, 4, 5, 6, 2147483647, 8};
    for (qint64 id = 100; id <= 2099; ++id)
        expected << id;
    QCOMPARE(m_ids, expected);
}

void TestLegacy::import_keepsSpecialValuesExactly_data()
{
    QTest::addColumn<qint64>("id");
    QTest::addColumn<bool>("nullText");
    QTest::addColumn<QString>("tm");
    QTest::addColumn<QString>("da");
    QTest::addColumn<qint64>("xx");

    QString longMemo;
    for (int i = 0; i < 3000; ++i)
        longMemo.append(QChar(char16_t(0x4E00 + i % 200)));

    QTest::addRow("compressed ASCII") << qint64(1) << false << "1+1=?"
                                      << "A" << qint64(1);
    QTest::addRow("CJK with CR LF")
        << qint64(2) << false << "下列哪个城市是中国的首都？\r\nA.上海 B.北京 C.广州 D.深圳"
        << "B" << qint64(1);
    QTest::addRow("zero low byte")
        << qint64(3) << false << "Mixed 中文 and ASCII, 一二三 (U+4E00 has a zero low byte)"
        << "ABCD" << qint64(2);
    QTest::addRow("memo over a page") << qint64(4) << false << longMemo << "C" << qint64(3);
    QTest::addRow("NULL") << qint64(5) << true << QString() << QString() << qint64(0);
    QTest::addRow("empty") << qint64(6) << false << ""
                           << "" << qint64(-1);
    QTest::addRow("outside the BMP, extreme integers")
        << qint64(2147483647) << false << "emoji \U0001F600 outside BMP"
        << "D" << qint64(-2147483648LL);
    QTest::addRow("Latin-1") << qint64(8) << false << "ümlaut àéî"
                             << "ÄÖÜ" << qint64(8);
}

void TestLegacy::import_keepsSpecialValuesExactly()
{
    QFETCH(qint64, id);
    QFETCH(bool, nullText);
    QFETCH(QString, tm);
    QFETCH(QString, da);
    QFETCH(qint64, xx);

    QVERIFY(m_byId.contains(id));
    const auto &record = m_byId.value(id);
    QVERIFY(record.errors.isEmpty());
    const auto &question = *record.question;
    QCOMPARE(question.tm.has_value(), !nullText);
    QCOMPARE(question.da.has_value(), !nullText);
    if (!nullText) {
        QCOMPARE(*question.tm, tm);
        QCOMPARE(*question.da, da);
    }
    QCOMPARE(question.xx, std::optional<qint64>(xx));
    QCOMPARE(record.notes.size(), xx == 0 || xx == 1 ? 0 : 1);
}

void TestLegacy::import_keepsNumberedRowsExactly()
{
    for (qint64 id = 100; id <= 2099; ++id) {
        const auto &record = m_byId.value(id);
        QVERIFY(record.question);
        const auto &question = *record.question;
        QCOMPARE(question.tm,
                 std::optional<QString>(QStringLiteral("题目%1：选择正确答案").arg(id)));
        QCOMPARE(question.da, std::optional<QString>(QString(QChar(u"ABCD"[id % 4]))));
        QCOMPARE(question.xx, std::optional<qint64>(id % 5));
        QCOMPARE(record.notes.size(), id % 5 <= 1 ? 0 : 1);
    }
}

void TestLegacy::import_leavesTheFileAlone()
{
    const QString copy = copyFixture(kEdgeCases);
    QVERIFY(!copy.isEmpty());
    const auto before = snapshotFolder(m_dir->path());
    QString error;
    QCOMPARE(readAll(copy, &error).size(), 2008);
    QCOMPARE(snapshotFolder(m_dir->path()), before);
    QCOMPARE(fileHash(copy), fileHash(kLegacyFixtures + kEdgeCases));
}

void TestLegacy::import_failsNamingWhatItCannotRead_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<Patch>("patch");
    QTest::addColumn<QString>("reason");

    const QString edgeCases = QStringLiteral("legacy/") + kEdgeCases;
    const Patch none = [](QByteArray &) {};
    // Id 4's memo: its header (length, then the first link) on page 26; its
    // links are row 0 of page 29, then row 0 of page 30.
    constexpr qsizetype memo = 110461;
    const auto pointTo = [](quint32 pointer) {
        return Patch([pointer](QByteArray &bytes) {
            qToLittleEndian<quint32>(pointer, bytes.data() + memo + 4);
        });
    };
    const QString tm = QStringLiteral("id 为 4 的行的 tm 列无法原样读出");

    QTest::addRow("memo longer than stored") << edgeCases << Patch([](QByteArray &bytes) {
        const qsizetype memo = bytes.indexOf(QByteArray("e\0m\0o\0j\0i\0", 10));
        QVERIFY(memo > 12);
        bytes[memo - 12] = char(bytes.at(memo - 12) + 2);
    }) << "id 为 2147483647 的行的 tm 列无法原样读出";
    // The table definition of kx is page 24; its row count sits at offset 16.
    QTest::addRow("row count above the rows stored") << edgeCases << Patch([](QByteArray &bytes) {
        qToLittleEndian<quint32>(2009, bytes.data() + 24 * 4096 + 16);
    }) << "表 kx 记着 2009 行，却只读出了 2008 行";
    QTest::addRow("memo chain looping on itself")
        << "hostile/F10-jet-memo-chain-selfloop.jet4" << none
        << tm + "（长文本的链绕回了它读过的一段（第 29 页第 0 行））";
    QTest::addRow("memo chain joining an earlier one")
        << edgeCases << Patch([](QByteArray &bytes) {
               const qsizetype emoji = bytes.indexOf(QByteArray("e\0m\0o\0j\0i\0", 10)) - 12;
               QVERIFY(emoji > 0);
               qToLittleEndian<quint32>(40, bytes.data() + emoji);
               qToLittleEndian<quint32>(30 * 256, bytes.data() + emoji + 4);
           })
        << "id 为 2147483647 的行的 tm 列无法原样读出（长文本的一段（第 30 页第 0 行）"
           "已属于前面的另一个值）";
    // As gen_jet_memo_oom.py makes it: looped, 1 GiB long, in 20 MiB.
    QTest::addRow("memo of 1 GiB") << edgeCases << Patch([](QByteArray &bytes) {
        qToLittleEndian<quint32>(29 * 256, bytes.data() + 29 * 4096 + 20);
        qToLittleEndian<quint32>(0x3FFFFFFE, bytes.data() + memo);
        bytes.append(QByteArray(20 << 20, '\0'));
    }) << tm + "（长文本记下的长度 1073741822 字节比整个文件还大）";
    QTest::addRow("memo past the end")
        << edgeCases << pointTo(1000 * 256) << tm + "（长文本指向的第 1000 页不在文件里）";
    QTest::addRow("memo in the header page")
        << edgeCases << pointTo(5) << tm + "（长文本指向的第 0 页不是存放长文本的页）";
    QTest::addRow("memo in a page of rows")
        << edgeCases << pointTo(26 * 256) << tm + "（长文本指向的第 26 页不是存放长文本的页）";
    QTest::addRow("memo in a row the page lacks")
        << edgeCases << pointTo(29 * 256 + 1) << tm + "（长文本指向的第 29 页第 1 行不存在）";
    QTest::addRow("memo in a deleted row") << edgeCases << Patch([](QByteArray &bytes) {
        bytes[29 * 4096 + 15] = char(bytes.at(29 * 4096 + 15) | 0x80);
    }) << tm + "（长文本所在的第 29 页第 0 行已删除或已损坏）";
    const QString cutByOne = QStringLiteral("hostile/F13-jet-truncated-1-byte.jet4");
    const QString cutBy300 = QStringLiteral("hostile/F13-jet-truncated-300-bytes.jet4");
    QTest::addRow("cut by a byte")
        << cutByOne << none << "不完整：245759 字节不是整页（每页 4096 字节）";
    QTest::addRow("cut by 300 bytes")
        << cutBy300 << none << "不完整：245460 字节不是整页（每页 4096 字节）";
    // Zeros in place of the lost end of the last page, whose first rows end there.
    const auto zeros = [](qsizetype count) {
        return Patch([count](QByteArray &bytes) { bytes.append(QByteArray(count, '\0')); });
    };
    QTest::addRow("cut by a byte, filled up")
        << cutByOne << zeros(1) << "第 1957 行无法解码：tm 列记为空，却存有值";
    QTest::addRow("cut by 300 bytes, filled up")
        << cutBy300 << zeros(300) << "第 1957 行无法解码：行里没有 id 列";
}

void TestLegacy::import_failsNamingWhatItCannotRead()
{
    QFETCH(QString, fixture);
    QFETCH(Patch, patch);
    QFETCH(QString, reason);
    QByteArray bytes = readFile(QStringLiteral(KELVARO_FIXTURES "/") + fixture);
    QVERIFY(!bytes.isEmpty());
    patch(bytes);
    const QString path = m_dir->filePath(QStringLiteral("kxst.db"));
    writeFile(path, bytes);

    QString error;
    readAll(path, &error);
    QVERIFY2(error.startsWith(path) && error.contains(reason), qPrintable(error));
}

void TestLegacy::header_readsThePasswordAccessStored_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("password");
    QTest::addRow("Access 2000") << "access2000-password.mdb"
                                 << "password";
    QTest::addRow("Access 2003") << "access2003-password.mdb"
                                 << "password";
    QTest::addRow("Access 2000, none") << "access2000-no-password.mdb"
                                       << "";
    QTest::addRow("the old program's bank") << kEdgeCases << "zkq.mvtrpw.xqz";
}

void TestLegacy::header_readsThePasswordAccessStored()
{
    QFETCH(QString, file);
    QFETCH(QString, password);
    const auto header = authoring::readJetHeaderOf(kLegacyFixtures + file);
    QVERIFY(header);
    QCOMPARE(header->version, authoring::JetVersion::Jet4);
    QCOMPARE(header->password, password);
}

void TestLegacy::open_checksThePassword_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("reason");

    const QString noTable = QStringLiteral("没有表 kx");
    const QString wrong = QStringLiteral("数据库密码不对");
    QTest::addRow("the program's password") << kEdgeCases << ""
                                            << "";
    QTest::addRow("the program's password given") << kEdgeCases << "zkq.mvtrpw.xqz"
                                                  << "";
    QTest::addRow("another password given") << kEdgeCases << "password" << wrong;
    QTest::addRow("differs in case") << kEdgeCases << "zkq.mvtrpw.xqZ" << wrong;
    QTest::addRow("right") << "access2000-password.mdb"
                           << "password" << noTable;
    QTest::addRow("right, Access 2003") << "access2003-password.mdb"
                                        << "password" << noTable;
    QTest::addRow("the program's, not the file's") << "access2000-password.mdb"
                                                   << "" << wrong;
    QTest::addRow("wrong, Access 2003") << "access2003-password.mdb"
                                        << "Password" << wrong;
    QTest::addRow("none stored") << "access2000-no-password.mdb"
                                 << "" << noTable;
    QTest::addRow("none stored, one given") << "access2000-no-password.mdb"
                                            << "x" << noTable;
}

void TestLegacy::open_checksThePassword()
{
    QFETCH(QString, file);
    QFETCH(QString, password);
    QFETCH(QString, reason);
    const QString copy = copyFixture(file);
    QVERIFY(!copy.isEmpty());
    const auto before = snapshotFolder(m_dir->path());

    authoring::SourceOptions options;
    options.legacyPassword = password;
    QString error;
    const auto source = authoring::openLegacySource(copy, options, &error);
    QCOMPARE(bool(source), reason.isEmpty());
    QVERIFY2(error.contains(reason), qPrintable(error));
    // The stored password never shows in a message.
    QVERIFY(!error.contains(QStringLiteral("zkq.mvtrpw.xqz")));
    QCOMPARE(snapshotFolder(m_dir->path()), before);
}

void TestLegacy::open_refusesOtherFormats_data()
{
    QTest::addColumn<QByteArray>("signature");
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("jet");
    QTest::addColumn<QString>("reason");
    QTest::addRow("Jet 3") << QByteArray("Standard Jet DB") << 0 << true << "Jet 3（Access 97）";
    QTest::addRow("ACE 12") << QByteArray("Standard ACE DB") << 2 << true << "ACE";
    QTest::addRow("ACE 16") << QByteArray("Standard ACE DB") << 5 << true << "ACE";
    QTest::addRow("not Access") << QByteArray("Standard Foo DB") << 1 << false
                                << "不是 Access（Jet）数据库";
}

void TestLegacy::open_refusesOtherFormats()
{
    QFETCH(QByteArray, signature);
    QFETCH(int, version);
    QFETCH(bool, jet);
    QFETCH(QString, reason);
    QByteArray bytes = readFile(kLegacyFixtures + QStringLiteral("access2000-no-password.mdb"));
    QVERIFY(bytes.size() > 4096);
    bytes.replace(4, signature.size(), signature);
    bytes[0x14] = char(version);
    const QString path = m_dir->filePath(QStringLiteral("kxst.db"));
    writeFile(path, bytes);

    QCOMPARE(authoring::isJetFile(path), jet);
    QString error;
    QVERIFY(!authoring::openLegacySource(path, {}, &error));
    QVERIFY2(error.contains(reason), qPrintable(error));
}

QTEST_GUILESS_MAIN(TestLegacy)
#include "tst_legacy.moc"

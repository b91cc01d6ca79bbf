// The workbook reader: number formats, Excel's text escapes, cell references,
// the zip underneath and the limits that keep a hostile workbook small. The
// workbooks are built here, entry by entry, with minizip or libxlsxwriter.
#include "authoring/exporter.h"
#include "authoring/numberformat.h"
#include "authoring/xlsxsource.h"
#include "authoring/zipreader.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <minizip/zip.h>
#include <xlsxwriter.h>
#include <zlib.h>

#include <optional>

using authoring::NumberFormat;
using authoring::XlsxSource;

namespace {

const QByteArray kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const QByteArray kRelNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const QByteArray kPackageRelNs = "http://schemas.openxmlformats.org/package/2006/relationships";

// An entry of a zip as the test writes it. A raw entry is written as given,
// with `claimedSize` and `claimedCrc` in its header instead of the truth.
struct Entry
{
    QByteArray name;
    QByteArray data;
    std::optional<quint64> claimedSize = {};
    std::optional<quint32> claimedCrc = {};
};

QByteArray rawDeflate(const QByteArray &data)
{
    z_stream stream = {};
    deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&stream, uLong(data.size()))), Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(qsizetype(stream.total_out));
    deflateEnd(&stream);
    return out;
}

bool writeZip(const QString &path, const QList<Entry> &entries)
{
    zipFile zip = zipOpen64(QFile::encodeName(path).constData(), APPEND_STATUS_CREATE);
    if (!zip)
        return false;
    bool ok = true;
    for (const Entry &entry : entries) {
        const bool raw = entry.claimedSize || entry.claimedCrc;
        zip_fileinfo info = {};
        ok = ok && zipOpenNewFileInZip2_64(zip, entry.name.constData(), &info, nullptr, 0, nullptr,
                                           0, nullptr, Z_DEFLATED, Z_BEST_SPEED, raw, 1) == ZIP_OK;
        const QByteArray bytes = raw ? rawDeflate(entry.data) : entry.data;
        ok = ok && zipWriteInFileInZip(zip, bytes.constData(), unsigned(bytes.size())) == ZIP_OK;
        const uLong crc = crc32(0, reinterpret_cast<const Bytef *>(entry.data.constData()),
                                uInt(entry.data.size()));
        ok = ok && (raw ? zipCloseFileInZipRaw64(
                              zip, entry.claimedSize.value_or(quint64(entry.data.size())),
                              entry.claimedCrc.value_or(quint32(crc)))
                        : zipCloseFileInZip(zip)) == ZIP_OK;
    }
    return zipClose(zip, nullptr) == ZIP_OK && ok;
}

QByteArray inlineCell(const QByteArray &reference, const QByteArray &text)
{
    return "<c r=\"" + reference + "\" t=\"inlineStr\"><is><t>" + text + "</t></is></c>";
}

// A workbook of the bank's own columns id,tm,da,xx: the header, then `rows`.
struct Workbook
{
    QByteArray rows;
    QByteArray strings; // the <si> items; no shared strings part when null
    QByteArray styles;  // what <styleSheet> holds; no styles part when null
    bool date1904 = false;
    bool strict = false; // Strict Open XML namespaces
    // The folder of the workbook part, named by _rels/.rels; none and xl/ when null.
    QByteArray folder;
};

bool writeWorkbook(const QString &path, const Workbook &book)
{
    const QByteArray mainNs =
        book.strict ? "http://purl.oclc.org/ooxml/spreadsheetml/main" : kMainNs;
    const QByteArray relNs =
        book.strict ? "http://purl.oclc.org/ooxml/officeDocument/relationships" : kRelNs;
    const QByteArray folder = book.folder.isNull() ? "xl/" : book.folder;
    const QByteArray declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    QByteArray relationships = declaration + "<Relationships xmlns=\"" + kPackageRelNs +
                               "\"><Relationship Id=\"rId1\" Type=\"" + relNs +
                               "/worksheet\" Target=\"worksheets/sheet1.xml\"/>";
    QList<Entry> entries;
    if (!book.folder.isNull())
        entries.append({"_rels/.rels", declaration + "<Relationships xmlns=\"" + kPackageRelNs +
                                           "\"><Relationship Id=\"rId1\" Type=\"" + relNs +
                                           "/officeDocument\" Target=\"/" + folder +
                                           "book.xml\"/></Relationships>"});
    if (!book.strings.isNull()) {
        relationships += "<Relationship Id=\"rId2\" Type=\"" + relNs +
                         "/sharedStrings\" Target=\"sharedStrings.xml\"/>";
        entries.append({folder + "sharedStrings.xml",
                        declaration + "<sst xmlns=\"" + mainNs + "\">" + book.strings + "</sst>"});
    }
    if (!book.styles.isNull()) {
        relationships +=
            "<Relationship Id=\"rId3\" Type=\"" + relNs + "/styles\" Target=\"styles.xml\"/>";
        entries.append({folder + "styles.xml", declaration + "<styleSheet xmlns=\"" + mainNs +
                                                   "\">" + book.styles + "</styleSheet>"});
    }
    const QByteArray workbookName = book.folder.isNull() ? "workbook.xml" : "book.xml";
    entries.append(
        {folder + "_rels/" + workbookName + ".rels", relationships + "</Relationships>"});
    entries.append({folder + workbookName,
                    declaration + "<workbook xmlns=\"" + mainNs + "\" xmlns:r=\"" + relNs + "\">" +
                        (book.date1904 ? "<workbookPr date1904=\"1\"/>" : "") +
                        "<sheets><sheet name=\"题库\" sheetId=\"1\" r:id=\"rId1\"/></sheets>"
                        "</workbook>"});
    const QByteArray header = "<row r=\"1\">" + inlineCell("A1", "id") + inlineCell("B1", "tm") +
                              inlineCell("C1", "da") + inlineCell("D1", "xx") + "</row>";
    entries.append({folder + "worksheets/sheet1.xml", declaration + "<worksheet xmlns=\"" + mainNs +
                                                          "\"><sheetData>" + header + book.rows +
                                                          "</sheetData></worksheet>"});
    return writeZip(path, entries);
}

// Question 1 with `cell` as its text (column B).
QByteArray questionRow(const QByteArray &cell)
{
    return "<row r=\"2\"><c r=\"A2\"><v>1</v></c>" + cell + inlineCell("C2", "A") +
           "<c r=\"D2\"><v>0</v></c></row>";
}

struct Reading
{
    QStringList texts; // tm of each good question
    QString error;     // the first error: opening, a record's, or reading on
};

Reading readWorkbook(const QString &path, const QString &sheet = QString(),
                     QStringList *remarks = nullptr)
{
    Reading reading;
    XlsxSource source;
    if (!source.open(path, sheet, &reading.error))
        return reading;
    if (remarks)
        *remarks = source.remarks();
    authoring::SourceRecord record;
    while (source.next(record)) {
        if (record.question)
            reading.texts.append(record.question->tm.value_or(QString()));
        else if (reading.error.isEmpty())
            reading.error = record.errors.join(u'；');
    }
    if (reading.error.isEmpty())
        reading.error = source.error();
    return reading;
}

// Hands out the questions it was given, for the exporter.
class ListSource : public authoring::QuestionSource
{
public:
    explicit ListSource(QList<bank::Question> questions) : m_questions(std::move(questions)) {}
    authoring::Format format() const override { return authoring::Format::Bank; }
    QString describeLocation(qint64 location) const override { return QString::number(location); }
    bool next(authoring::SourceRecord &record) override
    {
        if (m_next == m_questions.size())
            return false;
        record.location = m_next + 1;
        record.question = m_questions.at(m_next++);
        return true;
    }
    QString error() const override { return QString(); }
    qint64 bytesRead() const override { return 0; }
    qint64 totalBytes() const override { return 0; }

private:
    QList<bank::Question> m_questions;
    qsizetype m_next = 0;
};

} // namespace

class TestXlsx : public QObject
{
    Q_OBJECT

private slots:
    void numberFormat_showsNumbersAsExcel_data();
    void numberFormat_showsNumbersAsExcel();
    void generalNumber_showsWhatFitsElevenCharacters_data();
    void generalNumber_showsWhatFitsElevenCharacters();
    void parseReference_acceptsOnlyExcelsSheet_data();
    void parseReference_acceptsOnlyExcelsSheet();
    void decodeEscapes_undoesExcelsEscapes_data();
    void decodeEscapes_undoesExcelsEscapes();
    void zipReader_readsEntriesWholeAndIntact_data();
    void zipReader_readsEntriesWholeAndIntact();
    void read_showsCellsAsExcel_data();
    void read_showsCellsAsExcel();
    void read_findsTheWorkbookPart_data();
    void read_findsTheWorkbookPart();
    void read_findsTheSheet_data();
    void read_findsTheSheet();
    void read_refusesDamagedSheets_data();
    void read_refusesDamagedSheets();
    void export_roundTripsTextExactly_data();
    void export_roundTripsTextExactly();
    void read_largeWorkbookWhole();

private:
    QTemporaryDir m_dir;
};

void TestXlsx::numberFormat_showsNumbersAsExcel_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("date1904");
    QTest::addColumn<QString>("shown"); // null: refused
    const QString refused;
    const QString cnDate = QStringLiteral("yyyy\"年\"m\"月\"d\"日\"");
    QTest::addRow("chinese date") << cnDate << 42900.0 << false << "2017年6月14日";
    QTest::addRow("chinese date, 1904") << cnDate << 42900.0 << true << "2021年6月15日";
    QTest::addRow("unquoted chinese") << "yyyy年m月d日" << 42900.0 << false << "2017年6月14日";
    QTest::addRow("m/d/yyyy") << "m/d/yyyy" << 42900.0 << false << "6/14/2017";
    QTest::addRow("day 0") << "m/d/yyyy" << 0.0 << false << "1/0/1900";
    QTest::addRow("day 1") << "m/d/yyyy" << 1.0 << false << "1/1/1900";
    QTest::addRow("day 59") << "m/d/yyyy" << 59.0 << false << "2/28/1900";
    QTest::addRow("Excel's 29 Feb 1900") << "m/d/yyyy" << 60.0 << false << "2/29/1900";
    QTest::addRow("day 61") << "m/d/yyyy" << 61.0 << false << "3/1/1900";
    QTest::addRow("1904 day 0") << "m/d/yyyy" << 0.0 << true << "1/1/1904";
    QTest::addRow("date and time")
        << "yyyy-mm-dd hh:mm:ss" << 42900.5 << false << "2017-06-14 12:00:00";
    QTest::addRow("h:mm") << "h:mm" << 0.75 << false << "18:00";
    QTest::addRow("h:mm cuts seconds") << "h:mm" << 0.99999 << false << "23:59";
    QTest::addRow("rounds into the next day")
        << "yyyy-mm-dd h:mm:ss" << 42900.999999999 << false << "2017-06-15 0:00:00";
    QTest::addRow("mm is minutes before ss") << "mm:ss" << 0.0013888889 << false << "02:00";
    QTest::addRow("AM/PM") << "h:mm AM/PM" << 0.75 << false << "6:00 PM";
    QTest::addRow("midnight AM") << "h:mm AM/PM" << 0.0 << false << "12:00 AM";
    QTest::addRow("a/p") << "h a/p" << 0.25 << false << "6 a";
    QTest::addRow("上午/下午") << "上午/下午h\"时\"mm\"分\"" << 0.25 << false << "上午6时00分";
    QTest::addRow("elapsed hours") << "[h]:mm:ss" << 1.5 << false << "36:00:00";
    QTest::addRow("tenths of seconds") << "mm:ss.0" << 1.5 / 86400 << false << "00:01.5";
    QTest::addRow("names") << "dddd, mmmm d" << 42900.0 << false << "Wednesday, June 14";
    QTest::addRow("short names") << "ddd d-mmm-yy" << 42900.0 << false << "Wed 14-Jun-17";
    QTest::addRow("chinese weekday") << "aaaa" << 42900.0 << false << "星期三";
    QTest::addRow("chinese weekday, short") << "aaa" << 42900.0 << false << "三";
    QTest::addRow("weekday before March 1900") << "aaaa" << 1.0 << false << "星期日";
    QTest::addRow("text section left out") << "yyyy/m/d;@" << 42900.0 << false << "2017/6/14";
    QTest::addRow("US English locale") << "[$-409]mmm d" << 42900.0 << false << "Jun 14";
    QTest::addRow("negative date") << "m/d/yyyy" << -1.0 << false << refused;
    QTest::addRow("year 10000") << "m/d/yyyy" << 2958466.0 << false << refused;
    QTest::addRow("system long date")
        << "[$-F800]dddd, mmmm dd, yyyy" << 42900.0 << false << refused;
    QTest::addRow("chinese month names") << "[$-804]mmmm" << 42900.0 << false << refused;
    QTest::addRow("other calendar") << "[$-1000000]yyyy" << 42900.0 << false << refused;
    QTest::addRow("era year") << "e" << 42900.0 << false << refused;

    QTest::addRow("percent") << "0.00%" << 0.1234 << false << "12.34%";
    QTest::addRow("whole percent") << "0%" << 0.5 << false << "50%";
    QTest::addRow("0.00") << "0.00" << 3.14159 << false << "3.14";
    QTest::addRow("half up from 15 digits") << "0.00" << 1.005 << false << "1.01";
    QTest::addRow("2.675") << "0.00" << 2.675 << false << "2.68";
    QTest::addRow("0") << "0" << 0.5 << false << "1";
    QTest::addRow("minus zero") << "0" << -0.4 << false << "-0";
    QTest::addRow("thousands") << "#,##0" << 1234567.0 << false << "1,234,567";
    QTest::addRow("thousands of zero") << "#,##0" << 0.0 << false << "0";
    QTest::addRow("negative thousands") << "#,##0.00" << -1234.5 << false << "-1,234.50";
    QTest::addRow("scaled by 1000") << "#,##0,\"千\"" << 1234567.0 << false << "1,235千";
    QTest::addRow("# shows no zero") << "#.##" << 0.5 << false << ".5";
    QTest::addRow("optional decimals") << "0.0#" << 1.5 << false << "1.5";
    QTest::addRow("all decimals") << "0.0#" << 1.25 << false << "1.25";
    QTest::addRow("digits around text") << "000-0000" << 1234567.0 << false << "123-4567";
    QTest::addRow("scientific") << "0.00E+00" << 12345.0 << false << "1.23E+04";
    QTest::addRow("small scientific") << "0.00E+00" << 0.00012 << false << "1.20E-04";
    QTest::addRow("scientific rounds up") << "0.00E+00" << 9.999 << false << "1.00E+01";
    QTest::addRow("engineering") << "##0.0E+0" << 12345.0 << false << "12.3E+3";
    QTest::addRow("negative section") << "#,##0;(#,##0)" << -5.0 << false << "(5)";
    QTest::addRow("zero section") << "0;-0;\"零\"" << 0.0 << false << "零";
    QTest::addRow("colour") << "[Red]0.00" << 1.0 << false << "1.00";
    QTest::addRow("currency text") << "\"¥\"#,##0.00" << 1234.5 << false << "¥1,234.50";
    QTest::addRow("currency symbol") << "[$¥-804]#,##0" << 5.0 << false << "¥5";
    QTest::addRow("escaped and padded") << "\\$0_)" << 5.0 << false << "$5 ";
    QTest::addRow("text format") << "@" << 3.5 << false << "3.5";
    QTest::addRow("General") << "General" << 0.000054 << false << "0.000054";
    QTest::addRow("hidden") << ";;;" << 5.0 << false << "";
    QTest::addRow("condition") << "[>100]0" << 5.0 << false << refused;
    QTest::addRow("fraction") << "# ?/?" << 0.5 << false << refused;
    QTest::addRow("chinese numerals") << "[DBNum1]0" << 5.0 << false << refused;
    QTest::addRow("unclosed quote") << "0\"元" << 5.0 << false << refused;
    QTest::addRow("five sections") << "0;0;0;@;0" << 5.0 << false << refused;
}

void TestXlsx::numberFormat_showsNumbersAsExcel()
{
    QFETCH(QString, code);
    QFETCH(double, value);
    QFETCH(bool, date1904);
    QFETCH(QString, shown);
    const std::optional<QString> text = NumberFormat(code).format(value, date1904);
    if (shown.isNull())
        QVERIFY2(!text, qPrintable(text.value_or(QString())));
    else
        QCOMPARE(text.value_or(QStringLiteral("(refused)")), shown);
}

void TestXlsx::generalNumber_showsWhatFitsElevenCharacters_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("shown");
    QTest::addRow("small") << 0.000054 << "0.000054";
    QTest::addRow("smaller") << 0.00000025 << "0.00000025";
    QTest::addRow("telephone") << 13800138000.0 << "13800138000";
    QTest::addRow("15 digits") << 123456789012345.0 << "123456789012345";
    QTest::addRow("10^15") << 1e15 << "1E+15";
    QTest::addRow("3.5") << 3.5 << "3.5";
    QTest::addRow("-1") << -1.0 << "-1";
    QTest::addRow("-0.5") << -0.5 << "-0.5";
    QTest::addRow("zero") << 0.0 << "0";
    QTest::addRow("0.1+0.2") << 0.1 + 0.2 << "0.3";
    QTest::addRow("pi") << 3.14159265358979 << "3.141592654";
    QTest::addRow("tiny") << 1e-10 << "1E-10";
    QTest::addRow("too many digits") << 0.0000123456789 << "1.23457E-05";
    QTest::addRow("decimals") << 123456.7 << "123456.7";
    QTest::addRow("rounded to fit") << 1234567890.6 << "1234567891";
    QTest::addRow("fraction") << 0.1234567891234 << "0.123456789";
    QTest::addRow("large fraction") << 1234567890123.5 << "1.23457E+12";
}

void TestXlsx::generalNumber_showsWhatFitsElevenCharacters()
{
    QFETCH(double, value);
    QFETCH(QString, shown);
    QCOMPARE(authoring::generalNumber(value), shown);
}

void TestXlsx::parseReference_acceptsOnlyExcelsSheet_data()
{
    QTest::addColumn<QString>("reference");
    QTest::addColumn<int>("column"); // -1: refused
    QTest::addColumn<qint64>("row");
    QTest::addRow("A1") << "A1" << 0 << qint64(1);
    QTest::addRow("AB12") << "AB12" << 27 << qint64(12);
    QTest::addRow("last cell") << "XFD1048576" << 16383 << qint64(1048576);
    QTest::addRow("past XFD") << "XFE1" << -1 << qint64(0);
    QTest::addRow("past the last row") << "A1048577" << -1 << qint64(0);
    QTest::addRow("row 0") << "A0" << -1 << qint64(0);
    QTest::addRow("leading zero") << "A01" << -1 << qint64(0);
    QTest::addRow("int overflow") << "ZZZZZZZ2" << -1 << qint64(0);
    QTest::addRow("seven letters") << "AAAAAAA3" << -1 << qint64(0);
    QTest::addRow("four letters") << "FXSH2" << -1 << qint64(0);
    QTest::addRow("int64 row") << "A9223372036854775807" << -1 << qint64(0);
    QTest::addRow("lower case") << "a1" << -1 << qint64(0);
    QTest::addRow("no row") << "A" << -1 << qint64(0);
    QTest::addRow("no column") << "12" << -1 << qint64(0);
    QTest::addRow("trailing text") << "A1:B2" << -1 << qint64(0);
    QTest::addRow("empty") << "" << -1 << qint64(0);
}

void TestXlsx::parseReference_acceptsOnlyExcelsSheet()
{
    QFETCH(QString, reference);
    QFETCH(int, column);
    QFETCH(qint64, row);
    const auto parsed = XlsxSource::parseReference(reference);
    QCOMPARE(parsed.has_value(), column >= 0);
    if (parsed) {
        QCOMPARE(parsed->column, column);
        QCOMPARE(parsed->row, row);
    }
}

void TestXlsx::decodeEscapes_undoesExcelsEscapes_data()
{
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("text");
    QTest::addRow("carriage return") << "a_x000D_\nb"
                                     << "a\r\nb";
    QTest::addRow("escaped underscore") << "_x005F_x000D_"
                                        << "_x000D_";
    QTest::addRow("lower-case hex") << "_x005f_"
                                    << "_";
    QTest::addRow("surrogate pair") << "_xD83D__xDE00_"
                                    << "😀";
    QTest::addRow("upper-case X is text") << "_X000D_"
                                          << "_X000D_";
    QTest::addRow("too short") << "_x00D_"
                               << "_x00D_";
    QTest::addRow("not hex") << "_x00G0_"
                             << "_x00G0_";
    QTest::addRow("cut off") << "ab_x000D"
                             << "ab_x000D";
    QTest::addRow("plain") << "题目_一"
                           << "题目_一";
}

void TestXlsx::decodeEscapes_undoesExcelsEscapes()
{
    QFETCH(QString, written);
    QFETCH(QString, text);
    QCOMPARE(XlsxSource::decodeEscapes(written), text);
}

void TestXlsx::zipReader_readsEntriesWholeAndIntact_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<qint64>("claimedSize"); // -1: the truth
    QTest::addColumn<bool>("rightCrc");
    QTest::addColumn<qint64>("cap");
    QTest::addColumn<QString>("problem"); // empty: read whole
    QTest::addRow("intact") << 1000 << qint64(-1) << true << qint64(1000) << "";
    QTest::addRow("one byte past the cap")
        << 1000 << qint64(-1) << true << qint64(999) << "解压后超过 999 字节";
    QTest::addRow("claims less than it holds")
        << 1000 << qint64(10) << true << qint64(1 << 20) << "CRC 校验不符";
    QTest::addRow("claims more than it holds")
        << 1000 << qint64(2000) << true << qint64(1 << 20) << "解压出的大小与 zip 记录的不符";
    QTest::addRow("claims a gigabyte, holds a bomb")
        << 4000000 << (qint64(1) << 30) << true << qint64(1 << 20) << "解压后超过 1 MiB";
    QTest::addRow("wrong CRC") << 1000 << qint64(-1) << false << qint64(1 << 20) << "CRC 校验不符";
}

void TestXlsx::zipReader_readsEntriesWholeAndIntact()
{
    QFETCH(int, size);
    QFETCH(qint64, claimedSize);
    QFETCH(bool, rightCrc);
    QFETCH(qint64, cap);
    QFETCH(QString, problem);
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = char('a' + i % 26);
    Entry entry{"part.xml", data};
    if (claimedSize >= 0)
        entry.claimedSize = quint64(claimedSize);
    if (!rightCrc)
        entry.claimedCrc = 0;
    const QString path = m_dir.filePath(QStringLiteral("entries.zip"));
    QVERIFY(writeZip(path, {entry}));

    authoring::ZipReader zip;
    QVERIFY2(zip.open(path), qPrintable(zip.error()));
    QVERIFY(zip.openEntry(QStringLiteral("PART.xml"), cap)); // names as OPC compares them
    QByteArray read;
    char buffer[4096];
    qint64 got = 0;
    while ((got = zip.read(buffer, sizeof buffer)) > 0)
        read.append(buffer, got);
    if (problem.isEmpty()) {
        QCOMPARE(got, 0);
        QCOMPARE(read, data);
    } else {
        QCOMPARE(got, -1);
        QVERIFY2(zip.error().contains(problem) && zip.error().contains(u"PART.xml"),
                 qPrintable(zip.error()));
        QVERIFY(read.size() <= cap);
    }
}

void TestXlsx::read_showsCellsAsExcel_data()
{
    QTest::addColumn<QByteArray>("cell"); // B2, the question's text
    QTest::addColumn<QByteArray>("strings");
    QTest::addColumn<QByteArray>("styles");
    QTest::addColumn<bool>("date1904");
    QTest::addColumn<QString>("text");
    const QByteArray none;
    // Style 1 is built-in format 14, 2 is 31, 3 the workbook's own 164, 4 is 22, 5 is 10.
    const QByteArray styles =
        "<numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"0.0&quot;分&quot;\"/>"
        "</numFmts><cellStyleXfs count=\"1\"><xf numFmtId=\"10\"/></cellStyleXfs>"
        "<cellXfs count=\"6\"><xf numFmtId=\"0\"/><xf numFmtId=\"14\" applyNumberFormat=\"1\"/>"
        "<xf numFmtId=\"31\"/><xf numFmtId=\"164\"/><xf numFmtId=\"22\"/><xf numFmtId=\"10\"/>"
        "</cellXfs>";
    QTest::addRow("shared string")
        << QByteArray("<c r=\"B2\" t=\"s\"><v>1</v></c>")
        << QByteArray("<si><t>甲</t></si><si><t>乙</t></si>") << none << false << "乙";
    QTest::addRow("rich text without phonetics")
        << QByteArray("<c r=\"B2\" t=\"s\"><v>0</v></c>")
        << QByteArray("<si><r><t>东</t></r><r><t xml:space=\"preserve\">京 </t></r>"
                      "<rPh sb=\"0\" eb=\"1\"><t>とう</t></rPh></si>")
        << none << false << "东京 ";
    QTest::addRow("escapes in shared strings")
        << QByteArray("<c r=\"B2\" t=\"s\"><v>0</v></c>")
        << QByteArray("<si><t>一_x000D_\n二 _x005F_x000D_</t></si>") << none << false
        << "一\r\n二 _x000D_";
    QTest::addRow("escapes in inline strings")
        << inlineCell("B2", "a_x0009_b") << none << none << false << "a\tb";
    QTest::addRow("entities") << inlineCell("B2", "&lt;&amp;&#x4E2D;") << none << none << false
                              << "<&中";
    QTest::addRow("General number")
        << QByteArray("<c r=\"B2\"><v>5.4E-5</v></c>") << none << none << false << "0.000054";
    QTest::addRow("telephone number") << QByteArray("<c r=\"B2\" t=\"n\"><v>13800138000</v></c>")
                                      << none << none << false << "13800138000";
    QTest::addRow("boolean") << QByteArray("<c r=\"B2\" t=\"b\"><v>1</v></c>") << none << none
                             << false << "TRUE";
    QTest::addRow("formula text") << QByteArray("<c r=\"B2\" t=\"str\"><f>A1&amp;\"x\"</f>"
                                                "<v>1x</v></c>")
                                  << none << none << false << "1x";
    QTest::addRow("error value") << QByteArray("<c r=\"B2\" t=\"e\"><v>#N/A</v></c>") << none
                                 << none << false << "#N/A";
    QTest::addRow("built-in short date") << QByteArray("<c r=\"B2\" s=\"1\"><v>42900</v></c>")
                                         << none << styles << false << "2017/6/14";
    QTest::addRow("built-in chinese date") << QByteArray("<c r=\"B2\" s=\"2\"><v>42900</v></c>")
                                           << none << styles << false << "2017年6月14日";
    QTest::addRow("1904 dates") << QByteArray("<c r=\"B2\" s=\"2\"><v>42900</v></c>") << none
                                << styles << true << "2021年6月15日";
    QTest::addRow("the workbook's own format") << QByteArray("<c r=\"B2\" s=\"3\"><v>92.25</v></c>")
                                               << none << styles << false << "92.3分";
    QTest::addRow("built-in date and time") << QByteArray("<c r=\"B2\" s=\"4\"><v>42900.75</v></c>")
                                            << none << styles << false << "2017/6/14 18:00";
    QTest::addRow("built-in percent") << QByteArray("<c r=\"B2\" s=\"5\"><v>0.125</v></c>") << none
                                      << styles << false << "12.50%";
}

void TestXlsx::read_showsCellsAsExcel()
{
    QFETCH(QByteArray, cell);
    QFETCH(QByteArray, strings);
    QFETCH(QByteArray, styles);
    QFETCH(bool, date1904);
    QFETCH(QString, text);
    const QString path = m_dir.filePath(QStringLiteral("cells.xlsx"));
    QVERIFY(writeWorkbook(path, {questionRow(cell), strings, styles, date1904, false, {}}));
    const Reading reading = readWorkbook(path);
    QVERIFY2(reading.error.isEmpty(), qPrintable(reading.error));
    QCOMPARE(reading.texts, QStringList{text});
}

void TestXlsx::read_findsTheWorkbookPart_data()
{
    QTest::addColumn<bool>("strict");
    QTest::addColumn<QByteArray>("folder");
    QTest::addRow("Strict Open XML") << true << QByteArray();
    QTest::addRow("workbook part named by the package relationships")
        << false << QByteArray("book/");
    QTest::addRow("both, at the top of the package") << true << QByteArray("");
}

void TestXlsx::read_findsTheWorkbookPart()
{
    QFETCH(bool, strict);
    QFETCH(QByteArray, folder);
    Workbook book;
    book.rows = questionRow("<c r=\"B2\" t=\"s\"><v>0</v></c>");
    book.strings = "<si><t>共享的题</t></si>";
    book.styles = "<cellXfs count=\"1\"><xf numFmtId=\"0\"/></cellXfs>";
    book.strict = strict;
    book.folder = folder;
    const QString path =
        m_dir.filePath(QStringLiteral("part-%1.xlsx").arg(QTest::currentDataTag()));
    QVERIFY(writeWorkbook(path, book));
    const Reading reading = readWorkbook(path);
    QVERIFY2(reading.error.isEmpty(), qPrintable(reading.error));
    QCOMPARE(reading.texts, QStringList{QStringLiteral("共享的题")});
}

void TestXlsx::read_findsTheSheet_data()
{
    // Each sheet "name:first" (a leading "~" hides it): a question whose stem
    // is the sheet's name under a template header, a note, or nothing.
    QTest::addColumn<QStringList>("sheets");
    QTest::addColumn<QString>("option"); // --sheet
    QTest::addColumn<QString>("read");   // the sheet read; empty: refused
    QTest::addColumn<QString>("said");   // in the remarks, or the error

    QTest::addRow("a notes sheet in front")
        << QStringList{"说明:note", "题库:question"} << QString() << "题库"
        << "跳过的工作表：“说明”（第一行不是题目的标题行）";
    QTest::addRow("hidden and empty sheets in front")
        << QStringList{"~旧题:question", "空:", "题库:question"} << QString() << "题库"
        << "跳过的工作表：“旧题”（隐藏）、“空”（空的）";
    QTest::addRow("two sheets of questions: the first tab")
        << QStringList{"甲:question", "乙:question"} << QString() << "甲"
        << "";
    QTest::addRow("--sheet by name, hidden or not")
        << QStringList{"~甲:question", "乙:question"} << "甲"
        << "甲"
        << "读取工作表“甲”";
    QTest::addRow("--sheet by number") << QStringList{"甲:question", "乙:question"} << "2"
                                       << "乙"
                                       << "读取工作表“乙”";
    QTest::addRow("--sheet naming no sheet")
        << QStringList{"甲:question"} << "3" << QString() << "中没有工作表“3”，有的是 “甲”";
    QTest::addRow("--sheet naming a notes sheet")
        << QStringList{"说明:note", "乙:question"} << "说明" << QString() << "标题行应当";
    QTest::addRow("no visible sheet of questions")
        << QStringList{"说明:note", "~题库:question"} << QString() << QString()
        << "没有第一行是题目标题行的可见工作表：“说明”（第一行不是题目的标题行）、“题库”（隐藏）";
}

void TestXlsx::read_findsTheSheet()
{
    QFETCH(QStringList, sheets);
    QFETCH(QString, option);
    QFETCH(QString, read);
    QFETCH(QString, said);
    const QString path = m_dir.filePath(QStringLiteral("sheets.xlsx"));
    QFile::remove(path);
    lxw_workbook *workbook = workbook_new(QFile::encodeName(path).constData());
    lxw_worksheet *shown = nullptr;
    QList<lxw_worksheet *> hidden;
    for (QString sheet : sheets) {
        const bool hide = sheet.startsWith(u'~');
        const QStringList parts = sheet.mid(hide ? 1 : 0).split(u':');
        lxw_worksheet *worksheet =
            workbook_add_worksheet(workbook, parts.at(0).toUtf8().constData());
        if (parts.at(1) == u"note") {
            worksheet_write_string(worksheet, 0, 0, "说明：本工作簿的题在后面", nullptr);
        } else if (parts.at(1) == u"question") {
            const char *header[] = {"题干", "A", "B", "答案"};
            const QByteArray stem = parts.at(0).toUtf8();
            const char *row[] = {stem.constData(), "是", "否", "A"};
            for (lxw_col_t c = 0; c < 4; ++c) {
                worksheet_write_string(worksheet, 0, c, header[c], nullptr);
                worksheet_write_string(worksheet, 1, c, row[c], nullptr);
            }
        }
        (hide ? hidden.append(worksheet) : void(shown = worksheet));
    }
    // The active sheet cannot be hidden.
    worksheet_activate(shown);
    for (lxw_worksheet *worksheet : std::as_const(hidden))
        worksheet_hide(worksheet);
    QCOMPARE(workbook_close(workbook), LXW_NO_ERROR);

    QStringList remarks;
    const Reading reading = readWorkbook(path, option, &remarks);
    if (read.isEmpty()) {
        QVERIFY2(reading.error.contains(said), qPrintable(reading.error));
        return;
    }
    QVERIFY2(reading.error.isEmpty(), qPrintable(reading.error));
    QCOMPARE(reading.texts, QStringList{read + QStringLiteral("\nA.是\nB.否")});
    QVERIFY2(remarks.join(u'\n').contains(said), qPrintable(remarks.join(u'\n')));
}

void TestXlsx::read_refusesDamagedSheets_data()
{
    QTest::addColumn<QByteArray>("rows");
    QTest::addColumn<QByteArray>("strings");
    QTest::addColumn<QString>("problem");
    const QByteArray one = "<si><t>甲</t></si>";
    auto question = [](const QByteArray &cell) { return questionRow(cell); };
    QTest::addRow("column past XFD")
        << question(inlineCell("XFE2", "x")) << one << "工作表第 2 行：单元格引用“XFE2”不对";
    QTest::addRow("column overflowing int")
        << question(inlineCell("ZZZZZZZ2", "x")) << one << "单元格引用“ZZZZZZZ2”不对";
    QTest::addRow("cell of another row")
        << question(inlineCell("B3", "x")) << one << "单元格引用“B3”不对：应是第 2 行";
    QTest::addRow("cell given twice") << question(inlineCell("B2", "x") + inlineCell("B2", "y"))
                                      << one << "工作表第 2 行：单元格 B2 出现了两次";
    QTest::addRow("cells out of order")
        << QByteArray("<row r=\"2\"><c r=\"A2\"><v>1</v></c>" + inlineCell("C2", "A") +
                      inlineCell("B2", "x") + "</row>")
        << one << "单元格 B2 排在 C2 之后";
    QTest::addRow("cells without references past XFD")
        << QByteArray("<row r=\"2\">" + QByteArray("<c/>").repeated(16385) + "</row>") << one
        << "单元格 XFD2 之后还有单元格";
    QTest::addRow("row number overflowing int64")
        << QByteArray("<row r=\"9223372036854775807\"/><row/>") << one
        << "第 1 行之后的行号“9223372036854775807”不对";
    QTest::addRow("row 0") << QByteArray("<row r=\"0\"/>") << one << "行号“0”不对";
    QTest::addRow("row after the last")
        << QByteArray("<row r=\"1048576\"/><row/>") << one << "第 1048576 行之后还有行";
    QTest::addRow("row given twice")
        << question(inlineCell("B2", "x")) + question("") << one << "工作表第 2 行排在第 2 行之后";
    QTest::addRow("shared string out of range")
        << question("<c r=\"B2\" t=\"s\"><v>7</v></c>") << one
        << "工作表第 2 行：单元格 B2 引用的共享字符串 7 不存在（共有 1 个）";
    QTest::addRow("shared string index not a whole number")
        << question("<c r=\"B2\" t=\"s\"><v>0.5</v></c>") << one
        << "单元格 B2 的共享字符串编号“0.5”不是整数";
    QTest::addRow("negative shared string index")
        << question("<c r=\"B2\" t=\"s\"><v>-1</v></c>") << one << "编号“-1”不是整数";
    QTest::addRow("shared string index past int64")
        << question("<c r=\"B2\" t=\"s\"><v>99999999999999999999</v></c>") << one << "不是整数";
    QTest::addRow("no shared strings")
        << question("<c r=\"B2\" t=\"s\"><v>0</v></c>") << QByteArray() << "（共有 0 个）";
    QTest::addRow("number that is not one")
        << question("<c r=\"B2\"><v>1,5</v></c>") << one << "单元格 B2 的数值“1,5”不是数字";
    QTest::addRow("number past a double")
        << question("<c r=\"B2\"><v>1e999</v></c>") << one << "的数值“1e999”不是数字";
    QTest::addRow("infinity") << question("<c r=\"B2\"><v>INF</v></c>") << one << "不是数字";
    QTest::addRow("style that is not there")
        << question("<c r=\"B2\" s=\"3\"><v>1</v></c>") << one << "单元格 B2 的样式编号“3”不存在";
    QTest::addRow("unknown cell type")
        << question("<c r=\"B2\" t=\"x\"><v>1</v></c>") << one << "单元格 B2 的类型“x”不认识";
    QTest::addRow("cell of more than 16 Mi characters")
        << question(inlineCell("B2", QByteArray(16 * 1024 * 1024 + 1, 'a'))) << one
        << "单元格 B2 的内容太长";
    QTest::addRow("row of more than 16 Mi characters")
        << question(inlineCell("B2", QByteArray(9 * 1024 * 1024, 'a')) +
                    inlineCell("E2", QByteArray(9 * 1024 * 1024, 'a')))
        << one << "单元格 E2 所在的这一行内容超过 1600 万个字符";
    QTest::addRow("comment that never ends")
        << QByteArray("<!--" + QByteArray(5 * 1024 * 1024, 'a') + "-->") << one
        << "xl/worksheets/sheet1.xml 第 1 行有一段超过 4 MiB 的标记或注释";
    QTest::addRow("broken XML") << QByteArray("<row r=\"2\"><c></row>") << one
                                << "xl/worksheets/sheet1.xml 不是完好的 XML（第 1 行";
}

void TestXlsx::read_refusesDamagedSheets()
{
    QFETCH(QByteArray, rows);
    QFETCH(QByteArray, strings);
    QFETCH(QString, problem);
    const QString path = m_dir.filePath(QStringLiteral("damaged.xlsx"));
    QVERIFY(writeWorkbook(path, {rows, strings, QByteArray(), false, false, {}}));
    const Reading reading = readWorkbook(path);
    QVERIFY2(reading.error.contains(problem), qPrintable(reading.error));
}

void TestXlsx::export_roundTripsTextExactly_data()
{
    QTest::addColumn<QString>("text");
    QTest::addRow("CR LF") << "第一行\r\n第二行";
    QTest::addRow("lone CR") << "a\rb";
    QTest::addRow("tab and a control character") << "a\tb\x01c";
    QTest::addRow("text that looks like an escape") << "_x000D_ and _x005F_x0041_";
    QTest::addRow("underscores") << "a_b _x _x12_";
}

void TestXlsx::export_roundTripsTextExactly()
{
    QFETCH(QString, text);
    bank::Question question;
    question.id = 7;
    question.tm = text;
    question.da = QStringLiteral("B");
    question.xx = 1;
    ListSource source({question});
    const QString path =
        m_dir.filePath(QStringLiteral("export-%1.xlsx").arg(QTest::currentDataTag()));
    qint64 written = 0;
    QString error;
    QVERIFY2(authoring::exportSource(source, path, authoring::ExportLayout::Bank, &written, &error),
             qPrintable(error));
    const Reading reading = readWorkbook(path);
    QVERIFY2(reading.error.isEmpty(), qPrintable(reading.error));
    QCOMPARE(reading.texts, QStringList{text});
}

void TestXlsx::read_largeWorkbookWhole()
{
    // 200,000 questions of CJK text in the template's six columns, as an
    // author's workbook from Excel holds them: shared strings, then the sheet.
    constexpr int kQuestions = 200000;
    const QString path = m_dir.filePath(QStringLiteral("large.xlsx"));
    lxw_workbook *workbook = workbook_new(QFile::encodeName(path).constData());
    lxw_worksheet *sheet = workbook_add_worksheet(workbook, nullptr);
    const char *header[] = {"题干", "A", "B", "C", "D", "答案"};
    for (lxw_col_t c = 0; c < 6; ++c)
        worksheet_write_string(sheet, 0, c, header[c], nullptr);
    const QByteArray stem = QString(40, QChar(u'题')).toUtf8();
    for (lxw_row_t r = 1; r <= kQuestions; ++r) {
        const QByteArray number = QByteArray::number(r);
        worksheet_write_string(sheet, r, 0, QByteArray(stem + number).constData(), nullptr);
        for (lxw_col_t c = 1; c < 5; ++c)
            worksheet_write_string(
                sheet, r, c, QByteArray("选项" + number + char('A' + c - 1)).constData(), nullptr);
        const char answer[] = {char('A' + r % 4), '\0'};
        worksheet_write_string(sheet, r, 5, answer, nullptr);
    }
    QCOMPARE(workbook_close(workbook), LXW_NO_ERROR);

    QElapsedTimer timer;
    timer.start();
    XlsxSource source;
    QString error;
    QVERIFY2(source.open(path, QString(), &error), qPrintable(error));
    authoring::SourceRecord record;
    qint64 good = 0;
    while (source.next(record))
        good += record.question.has_value();
    QVERIFY2(source.error().isEmpty(), qPrintable(source.error()));
    QCOMPARE(good, kQuestions);
    // For a look only: timings belong to the benchmarks, and CTest's timeout catches a hang.
    qInfo("read %d questions in %lld ms", kQuestions, timer.elapsed());
}

QTEST_GUILESS_MAIN(TestXlsx)
#include "tst_xlsx.moc"

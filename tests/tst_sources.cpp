// The layouts authors' files come in, read record by record: every stored
// question, answer, error and note compared.
#include "authoring/questionsource.h"

#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

#include <minizip/zip.h>

#include <cstring>

using authoring::Format;

namespace {

// One record as "location tm|da", or "location !error;error", with " #note" for each note.
QStringList readAll(const QString &path, const authoring::SourceOptions &options, QString *error)
{
    QStringList read;
    const std::unique_ptr<authoring::QuestionSource> source =
        authoring::openSource(path, options, error);
    if (!source)
        return read;
    authoring::SourceRecord record;
    while (source->next(record)) {
        QString line =
            QString::number(record.location) + u' ' +
            (record.question ? QString(*record.question->tm + u'|' + *record.question->da)
                             : QString(u'!' + record.errors.join(u';')));
        for (const QString &note : record.notes)
            line += QStringLiteral(" #") + note;
        read.append(line);
    }
    *error = source->error();
    return read;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return file.readAll();
}

void putLe(QByteArray &bytes, quint64 value, int size)
{
    // Bytes past the eighth are zero (a shift of 64 or more is undefined).
    for (int i = 0; i < size; ++i)
        bytes.append(char(i < 8 ? value >> (8 * i) : 0));
}

QByteArray utf16(const QString &text)
{
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}

QByteArray biffRecord(int type, const QByteArray &data)
{
    QByteArray record;
    putLe(record, type, 2);
    putLe(record, data.size(), 2);
    return record + data;
}

// A sheet of a workbook made in the test: each cell is text, or a number
// when it starts with "#".
struct Sheet
{
    QString name;
    QList<QStringList> rows;
    bool hidden = false;
};

// An Excel 97-2003 workbook (BIFF8 in an OLE compound file) as Excel lays
// out the records libfreexl reads: the workbook globals with the sheets'
// names and the shared strings, then each sheet's cells.
QByteArray makeXls(const QList<Sheet> &sheets)
{
    QStringList strings;
    QList<QByteArray> substreams;
    for (const Sheet &sheet : sheets) {
        QByteArray cells;
        int columns = 0;
        for (int r = 0; r < sheet.rows.size(); ++r) {
            columns = std::max(columns, int(sheet.rows.at(r).size()));
            for (int c = 0; c < sheet.rows.at(r).size(); ++c) {
                const QString &cell = sheet.rows.at(r).at(c);
                QByteArray data;
                putLe(data, r, 2);
                putLe(data, c, 2);
                putLe(data, 0, 2);
                if (cell.startsWith(u'#')) {
                    const double value = cell.mid(1).toDouble();
                    quint64 bits = 0;
                    std::memcpy(&bits, &value, 8);
                    putLe(data, bits, 8);
                    cells += biffRecord(0x0203, data);
                } else if (!cell.isEmpty()) {
                    if (!strings.contains(cell))
                        strings.append(cell);
                    putLe(data, strings.indexOf(cell), 4);
                    cells += biffRecord(0x00FD, data);
                }
            }
        }
        QByteArray bof, dimensions;
        putLe(bof, 0x0600, 2);
        putLe(bof, 0x0010, 2);
        putLe(bof, 0, 12);
        putLe(dimensions, 0, 4);
        putLe(dimensions, sheet.rows.size(), 4);
        putLe(dimensions, 0, 2);
        putLe(dimensions, columns, 2);
        putLe(dimensions, 0, 2);
        substreams.append(biffRecord(0x0809, bof) + biffRecord(0x0200, dimensions) + cells +
                          biffRecord(0x000A, {}));
    }
    const auto globals = [&](qint64 padding, qint64 firstSheetAt) -> QByteArray {
        QByteArray bof, codepage, sst;
        putLe(bof, 0x0600, 2);
        putLe(bof, 0x0005, 2);
        putLe(bof, 0, 12);
        putLe(codepage, 0x04B0, 2);
        QByteArray records = biffRecord(0x0809, bof) + biffRecord(0x0042, codepage);
        qint64 at = firstSheetAt;
        for (int i = 0; i < sheets.size(); ++i) {
            QByteArray bound;
            putLe(bound, at, 4);
            putLe(bound, sheets.at(i).hidden ? 1 : 0, 1);
            putLe(bound, 0, 1); // a worksheet
            putLe(bound, sheets.at(i).name.size(), 1);
            putLe(bound, 1, 1);
            records += biffRecord(0x0085, bound + utf16(sheets.at(i).name));
            at += substreams.at(i).size();
        }
        putLe(sst, strings.size(), 4);
        putLe(sst, strings.size(), 4);
        for (const QString &string : strings) {
            putLe(sst, string.size(), 2);
            putLe(sst, 1, 1);
            sst += utf16(string);
        }
        // Streams under 4096 bytes would go to the mini stream; the writer's
        // name pads this one past it.
        return records + biffRecord(0x00FC, sst) + biffRecord(0x005C, QByteArray(padding, ' ')) +
               biffRecord(0x000A, {});
    };
    qint64 sheetBytes = 0;
    for (const QByteArray &substream : substreams)
        sheetBytes += substream.size();
    const qint64 padding = std::max<qint64>(0, 4096 - globals(0, 0).size() - sheetBytes);
    QByteArray stream = globals(padding, globals(padding, 0).size());
    for (const QByteArray &substream : substreams)
        stream += substream;

    const qint64 streamSectors = (stream.size() + 511) / 512;
    QByteArray header;
    header += QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(16, 0);
    putLe(header, 0x003E, 2);
    putLe(header, 0x0003, 2);
    putLe(header, 0xFFFE, 2);
    putLe(header, 9, 2);
    putLe(header, 6, 2);
    header += QByteArray(10, 0);
    putLe(header, 1, 4); // FAT sectors
    putLe(header, 1, 4); // the directory's first sector
    putLe(header, 0, 4);
    putLe(header, 4096, 4);       // mini stream cutoff
    putLe(header, 0xFFFFFFFE, 4); // no mini FAT
    putLe(header, 0, 4);
    putLe(header, 0xFFFFFFFE, 4); // no more DIFAT
    putLe(header, 0, 4);
    putLe(header, 0, 4); // the FAT is sector 0
    while (header.size() < 512)
        putLe(header, 0xFFFFFFFF, 4);
    QByteArray fat;
    putLe(fat, 0xFFFFFFFD, 4);
    putLe(fat, 0xFFFFFFFE, 4);
    for (qint64 i = 0; i < streamSectors; ++i)
        putLe(fat, i + 1 < streamSectors ? 3 + i : 0xFFFFFFFE, 4);
    while (fat.size() < 512)
        putLe(fat, 0xFFFFFFFF, 4);
    const auto entry = [](const QString &name, int type, quint32 child, quint32 start,
                          qint64 size) {
        QByteArray bytes = utf16(name) + QByteArray(2, 0);
        bytes.resize(64, 0);
        putLe(bytes, name.isEmpty() ? 0 : (name.size() + 1) * 2, 2);
        putLe(bytes, type, 1);
        putLe(bytes, 1, 1);
        putLe(bytes, 0xFFFFFFFF, 4);
        putLe(bytes, 0xFFFFFFFF, 4);
        putLe(bytes, child, 4);
        bytes += QByteArray(36, 0);
        putLe(bytes, start, 4);
        putLe(bytes, size, 8);
        return bytes;
    };
    QByteArray directory = entry(QStringLiteral("Root Entry"), 5, 1, 0xFFFFFFFE, 0) +
                           entry(QStringLiteral("Workbook"), 2, 0xFFFFFFFF, 2, stream.size()) +
                           entry(QString(), 0, 0xFFFFFFFF, 0, 0) +
                           entry(QString(), 0, 0xFFFFFFFF, 0, 0);
    stream.resize(streamSectors * 512, 0);
    return header + fat + directory + stream;
}

// A zip package of the given parts, deflated as office programs write them.
QByteArray makeZip(const QList<std::pair<QByteArray, QByteArray>> &parts)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("package.zip"));
    zipFile zip = zipOpen64(QFile::encodeName(path).constData(), APPEND_STATUS_CREATE);
    bool ok = zip != nullptr;
    for (const auto &[name, bytes] : parts) {
        zip_fileinfo info = {};
        ok = ok && zipOpenNewFileInZip64(zip, name.constData(), &info, nullptr, 0, nullptr, 0,
                                         nullptr, Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0) == ZIP_OK;
        ok = ok && zipWriteInFileInZip(zip, bytes.constData(), unsigned(bytes.size())) == ZIP_OK;
        ok = ok && zipCloseFileInZip(zip) == ZIP_OK;
    }
    ok = zip && zipClose(zip, nullptr) == ZIP_OK && ok;
    QFile file(path);
    if (!ok || !file.open(QIODevice::ReadOnly))
        qFatal("cannot write %s", qPrintable(path));
    return file.readAll();
}

} // namespace

class TestSources : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void text_data();
    void text();
    void xls_data();
    void xls();
    void ods_data();
    void ods();
    void docx_data();
    void docx();
    void kinds_data();
    void kinds();

private:
    QString write(const QString &name, const QByteArray &bytes);
    void compare();

    std::optional<QTemporaryDir> m_dir;
};

void TestSources::init()
{
    m_dir.emplace();
    QVERIFY(m_dir->isValid());
}

QString TestSources::write(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestSources::text_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("records");

    QTest::addRow("the template shipped to authors")
        << fileBytes(QStringLiteral(KELVARO_DATA "/template.txt"))
        << QStringList{"1 中国的首都是哪座城市？\nA.上海\nB.北京\nC.广州\nD.深圳|B",
                       "8 一年有几个季节？\n（按气象划分）\nA.两个\nB.三个\nC.四个\nD.五个|C"};
    QTest::addRow("side by side under a heading, 第1题, 第 2 题．, 参考答案")
        << QByteArray("一、单项选择题\n第1题 黄河流经？\n"
                      "A．河南、河北  B．湖南、湖北  C．山东、山西  D．广东、广西\n参考答案：A\n"
                      "第 2 题． 长江？\nA．1 B．2\n参考答案：B\n")
        << QStringList{"2 黄河流经？\nA.河南、河北\nB.湖南、湖北\nC.山东、山西\nD.广东、广西|A",
                       "5 长江？\nA.1\nB.2|B #只有 2 个选项"};
    QTest::addRow("two to a line, 1), 答案 with a blank, a blank line kept")
        << QByteArray("1) 甲\n\n乙\nA.一\tB.二\nC.三\tD.四\n答案 D\n"
                      "2．丙\nA、1 B、2 C、3\n答案：（b）\n")
        << QStringList{"1 甲\n\n乙\nA.一\nB.二\nC.三\nD.四|D",
                       "7 丙\nA.1\nB.2\nC.3|B #只有 3 个选项 #答案“b”按“B”录入"};
    QTest::addRow("answer in the stem's brackets, 解析 left out")
        << QByteArray("1、中国的首都是（B）。\nA.上海 B.北京\n解析：北京是首都。\n1. 元代起\n"
                      "2、x（ Ｃ ）y\nA.1 B.2 C.3 D.4\n【解析】 …\n")
        << QStringList{
               "1 中国的首都是（ ）。\nA.上海\nB.北京|B #第 3 行起的解析未导入 #只有 2 个选项",
               "5 x（ ）y\nA.1\nB.2\nC.3\nD.4|C #第 7 行起的解析未导入 #答案“Ｃ”按“C”录入"};
    QTest::addRow("answer key after the questions")
        << QByteArray("1. p\nA.1 B.2\n2. q\nA.1 B.2\n3. r\nA.1 B.2\n4. s\nA.1 B.2\n"
                      "参考答案\n1～2 BA\n3-4 AB\n")
        << QStringList{"1 p\nA.1\nB.2|B #只有 2 个选项", "3 q\nA.1\nB.2|A #只有 2 个选项",
                       "5 r\nA.1\nB.2|A #只有 2 个选项", "7 s\nA.1\nB.2|B #只有 2 个选项"};
    QTest::addRow("true or false, in brackets and on an answer line")
        << QByteArray("二、判断题\n1. 地球是圆的。（√）\n2. 太阳绕地球转。\n答案：错\n")
        << QStringList{
               "2 地球是圆的。（ ）\nA.正确\nB.错误|A #判断题，按“A.正确”“B.错误”两个选项录入",
               "3 太阳绕地球转。\nA.正确\nB.错误|B #判断题，按“A.正确”“B.错误”两个选项录入"};
    QTest::addRow("questions that cannot be drilled")
        << QByteArray("1. 单 A.1 B.2\n答案：AC\n三、多项选择题\n2. 多\nA.1 B.2\n答案：AB\n"
                      "二十四、填空题\n3. ____是首都\n答案：北京\n")
        << QStringList{"1 !多选题（答案 AC）无法练习：每道题只能有一个答案 #只有 2 个选项",
                       "4 !多选题无法练习：每道题只能有一个答案",
                       "8 !填空题无法练习：没有 A 到 D 的选项"};
    QTest::addRow("no answer, two answers, an answer past the options")
        << QByteArray("1. a\nA.1 B.2\n2. b\nA.1 B.2\n答案：A\n3. c\nA.1 B.2\n答案：C\n"
                      "答案：1.A 2.B\n")
        << QStringList{"1 a\nA.1\nB.2|A #只有 2 个选项", "3 b\nA.1\nB.2|A #只有 2 个选项",
                       "6 !答案 C 不在选项之中（只有 A 到 B） #只有 2 个选项",
                       "9 !第 2 题（第 3 行）有两个答案：A，答案表里是 B"};
    QTest::addRow("no answer anywhere, stray text before and after")
        << QByteArray("前言\n1. a\nA.1 B.2\n2. b\nA.1 B.2\n答案：B\n难度：易\n知识点：x\n")
        << QStringList{"1 !这里应当是带题号的题目，如“1. ……”",
                       "2 !缺少答案：没有答案行，题干的括号里没有答案，答案表里也没有第 1 题 #只有 "
                       "2 个选项",
                       "4 b\nA.1\nB.2|B #只有 2 个选项",
                       "7 !这一行在答案行之后，应当是下一道带题号的题目"};
}

void TestSources::text()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, records);

    QString error;
    const QStringList read = readAll(write(QStringLiteral("paper.txt"), bytes), {}, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(read, records);
}

// The rows of the tables below: a file, the sheet asked for, and every
// record read, or "!" and the start of the error that refuses the file.
void addFileColumns()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<QStringList>("records");
}

void TestSources::compare()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, sheet);
    QFETCH(QStringList, records);

    authoring::SourceOptions options;
    options.sheet = sheet;
    QString error;
    const QString path = write(name, bytes);
    const QStringList read = readAll(path, options, &error);
    if (records.size() == 1 && records.first().startsWith(u'!')) {
        QVERIFY2(read.isEmpty(), qPrintable(read.join(u'\n')));
        QCOMPARE(error, path + records.first().mid(1));
        return;
    }
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(read, records);
}

const QStringList kHeader{"题干", "A", "B", "C", "D", "答案"};

void TestSources::xls_data()
{
    addFileColumns();
    const Sheet notes{"说明", {{"请按模板填写"}}};
    const Sheet questions{"题库",
                          {kHeader,
                           {"首都？", "上海", "北京", "#3.5", "#20", "B"},
                           {},
                           {"两行\n题目", "1", "2", "3", "4", "d"}}};
    const Sheet old{"旧题", {kHeader, {"旧", "1", "2", "3", "4", "A"}}, true};
    QTest::addRow("hidden and notes sheets passed over, numbers as Excel shows them")
        << "bank.xls" << makeXls({old, notes, questions}) << QString()
        << QStringList{
               "2 首都？\nA.上海\nB.北京\nC.3.5\nD.20|B #读取工作表“题库”，跳过了“旧题”“说明”",
               "4 两行\n题目\nA.1\nB.2\nC.3\nD.4|D #答案“d”按“D”录入"};
    QTest::addRow("sheet by its place, in a file named in Chinese")
        << "练习 题库.xls" << makeXls({questions, questions}) << "2"
        << QStringList{"2 首都？\nA.上海\nB.北京\nC.3.5\nD.20|B #读取工作表“题库”",
                       "4 两行\n题目\nA.1\nB.2\nC.3\nD.4|D #答案“d”按“D”录入"};
    QTest::addRow("sheet asked for is not a question sheet")
        << "bank.xls" << makeXls({notes, questions}) << "说明"
        << QStringList{"! 的工作表“说明”第 1 行：标题行应当至少有题干和答案两列（如 "
                       "题干,A,B,C,D,答案），或是 id,tm,da,xx，实际是 请按模板填写"};
    QTest::addRow("directory cut off")
        << "bank.xls" << makeXls({notes}).left(1024) << QString()
        << QStringList{"! 的 OLE 目录已损坏：目录扇区 1 不在文件之中"};
    QTest::addRow("workbook stream cut off")
        << "bank.xls" << makeXls({notes, questions}).left(2048) << QString()
        << QStringList{"! 已损坏：工作簿数据不完整"};
    QByteArray longName = makeXls({notes, questions});
    longName[1572] = char(200); // the first sheet name's length, past its record
    QTest::addRow("sheet name past its record")
        << "bank.xls" << longName << QString()
        << QStringList{"! 已损坏：第 26 字节处的记录（类型 0085）长度不对"};
    QByteArray longEntry = makeXls({notes});
    // The root entry's name length past its 64 bytes: refused before libfreexl,
    // which reads past its buffer, sees it.
    longEntry[1024 + 65] = char(0xF6);
    QTest::addRow("directory entry's name too long")
        << "bank.xls" << longEntry << QString()
        << QStringList{"! 的 OLE 目录已损坏：目录项 0 的名字或类型不对"};
    QTest::addRow("no such sheet") << "bank.xls" << makeXls({notes}) << "题库"
                                   << QStringList{"! 中没有工作表“题库”，有：说明"};
}

void TestSources::xls()
{
    compare();
}

QByteArray odsContent(const QByteArray &tables)
{
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0">
<office:automatic-styles><style:style style:name="ta2" style:family="table">
<style:table-properties table:display="false"/></style:style></office:automatic-styles>
<office:body><office:spreadsheet>)" +
           tables + "</office:spreadsheet></office:body></office:document-content>";
}

QByteArray makeOds(const QByteArray &tables)
{
    return makeZip({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
                    {"content.xml", odsContent(tables)}});
}

const QByteArray kOdsHeader =
    "<table:table-row><table:table-cell><text:p>题干</text:p></table:table-cell>"
    "<table:table-cell><text:p>A</text:p></table:table-cell><table:table-cell><text:p>B</text:p>"
    "</table:table-cell><table:table-cell><text:p>C</text:p></table:table-cell><table:table-cell>"
    "<text:p>D</text:p></table:table-cell><table:table-cell><text:p>答案</text:p>"
    "</table:table-cell></table:table-row>";

void TestSources::ods_data()
{
    addFileColumns();
    const QByteArray question =
        "<table:table-row table:number-rows-repeated=\"2\"><table:table-cell><text:p>首都"
        "<text:s text:c=\"2\"/>是？</text:p><text:h>第二段<office:annotation><text:p>批注"
        "</text:p></office:annotation></text:h></table:table-cell>"
        "<table:table-cell table:number-columns-repeated=\"2\"><text:p>同</text:p>"
        "</table:table-cell><table:covered-table-cell><text:p>3</text:p>"
        "</table:covered-table-cell>"
        "<table:table-cell><text:p>4</text:p>"
        "</table:table-cell><table:table-cell><text:p>A</text:p></table:table-cell>"
        "<table:table-cell table:number-columns-repeated=\"16000\"/></table:table-row>"
        "<table:table-row table:number-rows-repeated=\"1048570\"><table:table-cell "
        "table:number-columns-repeated=\"1024\"/></table:table-row>";
    const QByteArray notes =
        "<table:table table:name=\"说明\"><table:table-row><table:table-cell>"
        "<text:p>说明</text:p></table:table-cell></table:table-row></table:table>";
    const QByteArray hidden = "<table:table table:name=\"旧题\" table:style-name=\"ta2\">" +
                              kOdsHeader + "</table:table>";
    const QByteArray bank =
        "<table:table table:name=\"题库\">" + kOdsHeader + question + "</table:table>";
    const QString composed = "首都  是？\n第二段\nA.同\nB.同\nC.3\nD.4|A";
    QTest::addRow("notes and hidden sheets passed over, repeats counted")
        << "bank.ods" << makeOds(notes + hidden + bank) << QString()
        << QStringList{"2 " + composed + " #读取工作表“题库”，跳过了“说明”“旧题”", "3 " + composed};
    QTest::addRow("hidden sheet asked for by name")
        << "bank.ods" << makeOds(hidden + bank) << "旧题" << QStringList{};
    QTest::addRow("a row past the sheet's end")
        << "bank.ods"
        << makeOds("<table:table table:name=\"题库\">" + kOdsHeader +
                   "<table:table-row table:number-rows-repeated=\"1048576\"/></table:table>")
        << QString() << QStringList{"! 的工作表“题库”第 2 行：超过了表格的 1048576 行"};
    QTest::addRow("a row of text repeated past the last column")
        << "bank.ods"
        << makeOds("<table:table table:name=\"题库\">" + kOdsHeader +
                   "<table:table-row><table:table-cell table:number-columns-repeated=\"16000\">"
                   "<text:p>x</text:p></table:table-cell><table:table-cell "
                   "table:number-columns-repeated=\"385\"><text:p>y</text:p></table:table-cell>"
                   "</table:table-row></table:table>")
        << QString() << QStringList{"! 的工作表“题库”第 2 行：超过了表格的 16384 列"};
    QTest::addRow("a document type definition")
        << "bank.ods"
        << makeZip({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
                    {"content.xml", "<!DOCTYPE x [<!ENTITY a \"aaaa\">]><x>&a;</x>"}})
        << QString()
        << QStringList{"! 中的 content.xml 含有文档类型定义（DTD），Office 文件里不会有"};
    QTest::addRow("no question sheet")
        << "bank.ods" << makeOds(notes) << QString()
        << QStringList{
               "! 中没有哪个可见的工作表第 1 行是题目的标题行（工作表“说明”：标题行应当至少有"
               "题干和答案两列（如 题干,A,B,C,D,答案），或是 id,tm,da,xx，实际是 说明）"};
}

void TestSources::ods()
{
    compare();
}

QByteArray makeDocx(const QByteArray &body, const QByteArray &numbering = {})
{
    const QByteArray ns =
        "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"";
    QList<std::pair<QByteArray, QByteArray>> parts{
        {"[Content_Types].xml", "<Types/>"},
        {"word/document.xml", "<w:document " + ns + "><w:body>" + body + "</w:body></w:document>"}};
    if (!numbering.isEmpty())
        parts.append(
            {"word/numbering.xml", "<w:numbering " + ns + ">" + numbering + "</w:numbering>"});
    return makeZip(parts);
}

QByteArray paragraph(const QByteArray &text, const QByteArray &list = {})
{
    return "<w:p>" +
           (list.isEmpty() ? QByteArray() : "<w:pPr><w:numPr>" + list + "</w:numPr></w:pPr>") +
           "<w:r><w:t xml:space=\"preserve\">" + text + "</w:t></w:r></w:p>";
}

QByteArray tableRow(const QStringList &cells)
{
    QByteArray row = "<w:tr>";
    for (const QString &cell : cells) {
        row += "<w:tc>";
        for (const QString &line : cell.split(u'\n'))
            row += paragraph(line.toUtf8());
        row += "</w:tc>";
    }
    return row + "</w:tr>";
}

void TestSources::docx_data()
{
    addFileColumns();
    // Word's own list: 1. 2. for the questions, A. B. under each, counted afresh.
    const QByteArray numbering =
        "<w:abstractNum w:abstractNumId=\"0\"><w:lvl w:ilvl=\"0\"><w:start w:val=\"1\"/>"
        "<w:numFmt w:val=\"decimal\"/><w:lvlText w:val=\"%1.\"/></w:lvl><w:lvl w:ilvl=\"1\">"
        "<w:start w:val=\"1\"/><w:numFmt w:val=\"upperLetter\"/><w:lvlText w:val=\"%2.\"/>"
        "<w:suff w:val=\"nothing\"/></w:lvl></w:abstractNum>"
        "<w:num w:numId=\"3\"><w:abstractNumId w:val=\"0\"/></w:num>";
    const QByteArray question = "<w:ilvl w:val=\"0\"/><w:numId w:val=\"3\"/>";
    const QByteArray option = "<w:ilvl w:val=\"1\"/><w:numId w:val=\"3\"/>";
    QTest::addRow("list numbering written out as Word shows it")
        << "paper.docx"
        << makeDocx(paragraph("一、单项选择题") + paragraph("首都？", question) +
                        paragraph("上海", option) + paragraph("北京", option) +
                        paragraph("答案：B") + paragraph("太阳？", question) +
                        paragraph("东", option) + paragraph("西", option) +
                        paragraph("南", option) + paragraph("答案：C"),
                    numbering)
        << QString()
        << QStringList{"2 首都？\nA.上海\nB.北京|B #只有 2 个选项",
                       "6 太阳？\nA.东\nB.西\nC.南|C #只有 3 个选项"};
    QTest::addRow("typed text, options side by side, a line break")
        << "paper.docx"
        << makeDocx("<w:p><w:r><w:t>1. 中国的</w:t><w:cr/><w:t>首都</w:t><w:tab/>"
                    "<w:t>？</w:t><w:br/><w:t>A.上海</w:t><w:tab/><w:t>B.北京</w:t></w:r></w:p>" +
                    paragraph("答案 B"))
        << QString() << QStringList{"1 中国的\n首都\t？\nA.上海\nB.北京|B #只有 2 个选项"};
    QTest::addRow("options laid out in a table")
        << "paper.docx"
        << makeDocx(paragraph("1. 首都？") + "<w:tbl>" + tableRow({"A.上海", "B.北京"}) +
                    tableRow({"C.广州", "D.深圳"}) + "</w:tbl>" + paragraph("答案：B"))
        << QString() << QStringList{"1 首都？\nA.上海\nB.北京\nC.广州\nD.深圳|B"};
    QTest::addRow("a table with a question header")
        << "table.docx"
        << makeDocx(paragraph("说明文字") + "<w:tbl>" + tableRow(kHeader) +
                    tableRow({"首都？\n（填城市）", "上海", "北京", "广州", "深圳", "B"}) +
                    "</w:tbl>")
        << QString() << QStringList{"2 首都？\n（填城市）\nA.上海\nB.北京\nC.广州\nD.深圳|B"};
}

void TestSources::docx()
{
    compare();
}

void TestSources::kinds_data()
{
    addFileColumns();
    QStringEncoder encoder(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
    QTest::addRow("Excel's Unicode Text named .txt")
        << "saved.txt"
        << QByteArray(encoder.encode(
               QStringLiteral("题干\tA\tB\tC\tD\t答案\r\n首都？\t上海\t北京\t广州\t深圳\tB\r\n")))
        << QString() << QStringList{"2 首都？\nA.上海\nB.北京\nC.广州\nD.深圳|B"};
    QTest::addRow(".xlsb") << "bank.xlsx" << makeZip({{"xl/workbook.bin", "x"}}) << QString()
                           << QStringList{
                                  "! 是 Excel 二进制工作簿（.xlsb），无法读取：请另存为 Excel "
                                  "工作簿（.xlsx）再导入"};
    QTest::addRow("Numbers") << "bank.numbers" << QByteArray("PK") << QString()
                             << QStringList{"! 是 Apple Numbers 文件，无法读取：请另存为 Excel "
                                            "工作簿（.xlsx）再导入"};
    // An encrypted package is an OLE file whose one stream is EncryptedPackage.
    QByteArray encrypted = makeXls({{"x", {{"x"}}}});
    // The directory's second entry, after the header and the FAT.
    encrypted.replace(1152, 34,
                      QByteArray(utf16(QStringLiteral("EncryptedPackage")) + '\0' + '\0'));
    encrypted[1152 + 64] = 34;
    QTest::addRow("encrypted workbook")
        << "locked.xlsx" << encrypted << QString()
        << QStringList{"! 是加了密码的工作簿，无法读取：请在 Excel "
                       "里去掉密码，请另存为 Excel 工作簿（.xlsx）再导入"};
}

void TestSources::kinds()
{
    compare();
}

QTEST_GUILESS_MAIN(TestSources)
#include "tst_sources.moc"

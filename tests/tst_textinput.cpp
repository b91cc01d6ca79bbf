// Text files as the readers see them: every byte decoded or refused with its
// line, whatever the chunk boundaries, and no line or record read on without end.
#include "authoring/delimitedsource.h"
#include "authoring/optionsplit.h"
#include "authoring/textinput.h"
#include "tests/support/bankfixture.h"

#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

using authoring::Encoding;

namespace {

// Small chunks split every multi-byte character and CR LF somewhere.
const QList<qint64> kChunkSizes{1, 2, 3, 5, authoring::TextInput::kDefaultChunkSize};

} // namespace

class TestTextInput : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void decode_data();
    void decode();
    void longLine_data();
    void longLine();
    void records_data();
    void records();
    void splitOptions_data();
    void splitOptions();

private:
    QString write(const QByteArray &bytes);

    std::optional<QTemporaryDir> m_dir;
};

void TestTextInput::init()
{
    m_dir.emplace();
    QVERIFY(m_dir->isValid());
}

QString TestTextInput::write(const QByteArray &bytes)
{
    const QString path = m_dir->filePath("input.txt");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestTextInput::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Encoding>("encoding");
    QTest::addColumn<QString>("text");  // the lines, joined by LF
    QTest::addColumn<QString>("error"); // what the error says, after the file's name

    const QString bmp = QStringLiteral("中国的首都\n𠮷");
    QTest::addRow("UTF-8 told from its bytes")
        << bmp.toUtf8() << Encoding::Auto << bmp << QString();
    QTest::addRow("UTF-8 with a U+FFFD of its own")
        << QByteArray("a\xEF\xBF\xBD\nb") << Encoding::Auto << "a\uFFFD\nb" << QString();
    QTest::addRow("UTF-8 BOM, CR LF and lone CR") << QByteArray("\xEF\xBB\xBF"
                                                                "a\rb\r\nc")
                                                  << Encoding::Auto << "a\nb\nc" << QString();
    QTest::addRow("GB18030 told from its bytes, CR LF")
        << testsupport::encoded("GB18030", "中国的首都\r\n北京") << Encoding::Auto
        << "中国的首都\n北京" << QString();
    QTest::addRow("GB18030 four bytes: U+20BB7")
        << QByteArray("\x95\x34\xB2\x35") << Encoding::Auto << "𠮷" << QString();
    QTest::addRow("GB18030 four bytes: U+0080 U+FFFF U+10000 U+10FFFF")
        << QByteArray("\x81\x30\x81\x30\x84\x31\xA4\x39\x90\x30\x81\x30\xE3\x32\x9A\x35")
        << Encoding::Gb18030 << QString::fromUcs4(U"\u0080\uFFFF\U00010000\U0010FFFF") << QString();
    QTest::addRow("GB18030 four bytes told from their bytes: U+0600")
        << QByteArray("\x81\x30\xFE\x30") << Encoding::Auto << "\u0600" << QString();
    QTest::addRow("GB18030 with a U+FFFD of its own")
        << QByteArray("\x84\x31\xA4\x37") << Encoding::Gb18030 << "\uFFFD" << QString();
    QTest::addRow("UTF-16LE BOM") << QByteArray("\xFF\xFE") + testsupport::encoded("UTF-16LE", bmp)
                                  << Encoding::Auto << bmp << QString();
    QTest::addRow("UTF-16BE BOM") << QByteArray("\xFE\xFF") + testsupport::encoded("UTF-16BE", bmp)
                                  << Encoding::Auto << bmp << QString();
    QTest::addRow("UTF-16 named, no BOM")
        << testsupport::encoded("UTF-16LE", bmp) << Encoding::Utf16 << bmp << QString();

    QTest::addRow("neither UTF-8 nor GB18030")
        << QByteArray("a\n\xE4\xB8\xAD\n\x80") << Encoding::Auto << QString()
        << "不是有效的 UTF-8 文本（第 3 行：有无效的字节序列 80），"
           "也不是有效的 GB18030 文本（第 2 行：有无效的字节序列 AD 0A）";
    QTest::addRow("neither, GB18030 the nearer")
        << QByteArray("\xD6\xD0\n\xFF") << Encoding::Auto << QString()
        << "不是有效的 GB18030 文本（第 2 行：有无效的字节序列 FF），"
           "也不是有效的 UTF-8 文本（第 1 行：有无效的字节序列 D6 D0）";
    QTest::addRow("UTF-8 BOM, then a bad last byte of three")
        << QByteArray("\xEF\xBB\xBF"
                      "a\r\n\xE4\xB8\xC0")
        << Encoding::Auto << QString() << "第 2 行不是有效的 UTF-8 文本：有无效的字节序列 E4 B8 C0";
    QTest::addRow("UTF-8 BOM, then a bad byte")
        << QByteArray("\xEF\xBB\xBF"
                      "a\r\n\xFF")
        << Encoding::Auto << QString() << "第 2 行不是有效的 UTF-8 文本：有无效的字节序列 FF";

    // Rows of bytes that are not valid in `encoding`, each naming its line and fault.
    const auto invalidIn = [](Encoding encoding, const char *label) {
        return [=](const char *name, const QByteArray &bytes, int line, const char *fault) {
            QTest::addRow("%s: %s", label, name)
                << bytes << encoding << QString()
                << QStringLiteral("第 %1 行不是有效的 %2 文本：%3")
                       .arg(line)
                       .arg(QLatin1String(label), QString::fromUtf8(fault));
        };
    };
    const auto gb18030 = invalidIn(Encoding::Gb18030, "GB18030");
    gb18030("lone lead byte", "a\nb\x81,c", 2, "有无效的字节序列 81 2C");
    gb18030("trail 7F", "\x81\x7F", 1, "有无效的字节序列 81 7F");
    gb18030("80 alone, after CR LF", "x\r\n\x80", 2, "有无效的字节序列 80");
    gb18030("FF alone, after lone CRs", "x\r\ry\xFF", 3, "有无效的字节序列 FF");
    gb18030("CR, a character, LF", "a\r\xD6\xD0\n\xFF", 3, "有无效的字节序列 FF");
    gb18030("third byte of four", "\x81\x30\x20", 1, "有无效的字节序列 81 30 20");
    gb18030("fourth byte of four", "\x81\x30\x81\x41", 1, "有无效的字节序列 81 30 81 41");
    gb18030("four bytes past U+FFFF", "\x84\x31\xA5\x30", 1, "有无效的字节序列 84 31 A5 30");
    gb18030("four bytes past U+10FFFF", "\xE3\x32\x9A\x36", 1, "有无效的字节序列 E3 32 9A 36");
    gb18030("lead byte at the end", "a\n\x81", 2, "文件末尾的字节序列 81 不完整");
    gb18030("four bytes cut off", "a\n\x81\x30\x81", 2, "文件末尾的字节序列 81 30 81 不完整");

    const auto utf8 = invalidIn(Encoding::Utf8, "UTF-8");
    utf8("overlong two bytes", "a\n\xC0\xAF", 2, "有无效的字节序列 C0");
    utf8("overlong three bytes", "\xE0\x80\xAF", 1, "有无效的字节序列 E0 80");
    utf8("surrogate", "\xED\xA0\x80", 1, "有无效的字节序列 ED A0");
    utf8("past U+10FFFF", "\xF4\x90\x80\x80", 1, "有无效的字节序列 F4 90");
    utf8("lead F5", "\xF5\x80", 1, "有无效的字节序列 F5");
    utf8("lone continuation", "\x80", 1, "有无效的字节序列 80");
    utf8("bad continuation",
         "\xE4\xB8"
         "b",
         1, "有无效的字节序列 E4 B8 62");
    utf8("cut off", "\n\n\xE4\xB8", 3, "文件末尾的字节序列 E4 B8 不完整");
    utf8("CR, a character, LF", "a\r\xC3\xA9\n\x80", 3, "有无效的字节序列 80");

    const auto utf16 = [](const char *name, const QByteArray &bytes, int line, const char *fault) {
        QTest::addRow("UTF-16: %s", name) << bytes << Encoding::Auto << QString()
                                          << QStringLiteral("第 %1 行%2").arg(line).arg(fault);
    };
    utf16("lone high surrogate", QByteArray("\xFF\xFE\x3D\xD8\x41\x00", 6), 1,
          "不是有效的 UTF-16LE 文本：有不成对的代理项 U+D83D");
    utf16("two high surrogates", QByteArray("\xFF\xFE\x3D\xD8\x3D\xD8\x00\xDE", 8), 1,
          "不是有效的 UTF-16LE 文本：有不成对的代理项 U+D83D");
    utf16("high surrogate at the end", QByteArray("\xFF\xFE\x41\x00\x0A\x00\x3D\xD8", 8), 2,
          "不是有效的 UTF-16LE 文本：有不成对的代理项 U+D83D");
    utf16("lone low surrogate after CR LF and CR",
          QByteArray("\xFE\xFF\x00\x0D\x00\x0A\x00\x0D\xDE\x00", 10), 3,
          "不是有效的 UTF-16BE 文本：有不成对的代理项 U+DE00");
    utf16("odd byte at the end", QByteArray("\xFF\xFE\x41\x00\x42", 5), 1,
          "不是有效的 UTF-16LE 文本：文件末尾的字节序列 42 不完整");
}

void TestTextInput::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Encoding, encoding);
    QFETCH(QString, text);
    QFETCH(QString, error);

    const QString path = write(bytes);
    for (const qint64 chunkSize : kChunkSizes) {
        authoring::TextInput input(chunkSize);
        authoring::LineReader reader(input);
        QString problem;
        QStringList lines;
        if (input.open(path, encoding, &problem)) {
            QString line;
            while (reader.readLine(line))
                lines.append(line);
            problem = reader.error();
        }
        const QByteArray context =
            "chunks of " + QByteArray::number(chunkSize) + ": " + problem.toUtf8();
        if (error.isEmpty()) {
            QVERIFY2(problem.isEmpty(), context);
            QCOMPARE(lines.join(u'\n'), text);
        } else {
            QVERIFY2(problem.startsWith(QString(path + ' ' + error)), context);
        }
    }
}

void TestTextInput::longLine_data()
{
    QTest::addColumn<qsizetype>("length");
    QTest::addColumn<bool>("ended");
    QTest::addColumn<bool>("refused");

    const qsizetype cap = authoring::LineReader::kMaxLineChars;
    QTest::addRow("at the cap") << cap << true << false;
    QTest::addRow("one past the cap") << cap + 1 << true << true;
    QTest::addRow("far past the cap, no line end") << 3 * cap << false << true;
}

void TestTextInput::longLine()
{
    QFETCH(qsizetype, length);
    QFETCH(bool, ended);
    QFETCH(bool, refused);

    const QString path =
        write(QByteArray("1. x\n") + QByteArray(length, 'a') + QByteArray(ended ? "\nD" : ""));
    authoring::TextInput input;
    QString error;
    QVERIFY2(input.open(path, Encoding::Auto, &error), qPrintable(error));
    authoring::LineReader reader(input);
    QString line;
    QVERIFY(reader.readLine(line));
    QCOMPARE(reader.readLine(line), !refused);
    if (refused) {
        QCOMPARE(reader.error(),
                 QString(path + " 第 2 行超过 1600 万个字符，文件可能不是文本模板"));
        // Refused after reading little more than the cap.
        QVERIFY(input.bytesRead() <= authoring::LineReader::kMaxLineChars + 4 * (1 << 20));
    } else {
        QCOMPARE(line.size(), length);
        QVERIFY(reader.readLine(line));
        QCOMPARE(line, "D");
    }
}

void TestTextInput::records_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("records"); // line: fields joined by |, or !error

    QTest::addRow("quoted line ends over many chunks")
        << QByteArray("a,\"x\r\ny\rz\"\nb,\"\"\"\"\n") << QStringList{"1:a|x\r\ny\rz", "4:b|\""};
    QTest::addRow("doubled quotes inside quotes")
        << QByteArray("\"say \"\"hi\"\"\",\"\"\"\"\"\"\n") << QStringList{"1:say \"hi\"|\"\""};
    QTest::addRow("lines counted past quoted LFs")
        << QByteArray("\"a\nb\n\",1\nc,2\n") << QStringList{"1:a\nb\n|1", "4:c|2"};
    QTest::addRow("a bad record over lines, named where it starts")
        << QByteArray("x,1\n\"a\r\nb\"c,2\nd,3\n")
        << QStringList{"1:x|1", "2:!引号后面应当紧跟分隔符或换行", "4:d|3"};
    const QByteArray fields(16384 - 1, ',');
    QTest::addRow("as many fields as a sheet has columns")
        << fields + "\nx" << QStringList{"1:" + QString(16384 - 1, u'|'), "2:x"};
    QTest::addRow("one field more")
        << fields + ",\nx" << QStringList{"1:!这条记录超过 16384 个字段", "2:x"};
}

void TestTextInput::records()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, records);

    const QString path = write(bytes);
    for (const qint64 chunkSize : kChunkSizes) {
        authoring::TextInput input(chunkSize);
        QString error;
        QVERIFY2(input.open(path, Encoding::Auto, &error), qPrintable(error));
        authoring::DelimitedReader reader(input, u',');
        QStringList read;
        QStringList fields;
        while (reader.readRecord(fields)) {
            const QString what = reader.recordError().isEmpty()
                                     ? fields.join(u'|')
                                     : QString('!' + reader.recordError());
            read.append(QString::number(reader.recordLine()) + ':' + what);
        }
        QVERIFY2(input.error().isEmpty(), qPrintable(input.error()));
        QCOMPARE(read, records);
    }
}

void TestTextInput::splitOptions_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("split"); // the text before, then the options; empty: not split

    QTest::addRow("side by side, full-width stops")
        << "A．河南、河北  B．湖南、湖北  C．山东、山西  D．广东、广西"
        << QStringList{"", "河南、河北", "湖南、湖北", "山东、山西", "广东、广西"};
    QTest::addRow("two to a line, after the question")
        << "中国的首都是（ ）。\nA、北京\tB、上海\nC) 广州    D) 深圳"
        << QStringList{"中国的首都是（ ）。", "北京", "上海", "广州", "深圳"};
    QTest::addRow("bracketed and full-width letters")
        << "题（A）甲 (B)乙 （Ｃ）丙 ( D )丁" << QStringList{"题", "甲", "乙", "丙", "丁"};
    QTest::addRow("a marker counts only as the next letter")
        << "检查 A.B超检查 B.CT C.A.B.C D.维生素B、C"
        << QStringList{"检查", "B超检查", "CT", "A.B.C", "维生素B、C"};
    QTest::addRow("no marker inside a word before the options")
        << "关于A、B两点 A：对 B：错" << QStringList{"关于A、B两点", "对", "错"};
    QTest::addRow("after Chinese text only when nothing else splits")
        << "A.北京B.上海C.广州" << QStringList{"", "北京", "上海", "广州"};
    QTest::addRow("blank line inside an option kept")
        << "A.一\n\n二\nB.三" << QStringList{"", "一\n\n二", "三"};
    QTest::addRow("one option") << "题 A.甲" << QStringList{};
    QTest::addRow("letters out of order") << "题 B.甲 A.乙" << QStringList{};
    QTest::addRow("a fifth option") << "A.1 B.2 C.3 D.4 E.5" << QStringList{};
    QTest::addRow("Latin words are not markers") << "U.S.A.B.C" << QStringList{};
}

void TestTextInput::splitOptions()
{
    QFETCH(QString, text);
    QFETCH(QStringList, split);

    const std::optional<authoring::SplitText> result = authoring::splitOptions(text);
    QCOMPARE(result ? QStringList{result->before} + result->options : QStringList{}, split);
}

QTEST_GUILESS_MAIN(TestTextInput)
#include "tst_textinput.moc"

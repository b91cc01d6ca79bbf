// The layouts authors' files come in, read record by record: every stored
// question, answer, error and note compared.
#include "authoring/questionsource.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

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

} // namespace

class TestSources : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void text_data();
    void text();

private:
    QString write(const QString &name, const QByteArray &bytes);

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
    QTest::addRow("side by side under a heading, 第1题, 参考答案")
        << QByteArray("一、单项选择题\n第1题 黄河流经？\n"
                      "A．河南、河北  B．湖南、湖北  C．山东、山西  D．广东、广西\n参考答案：A\n")
        << QStringList{"2 黄河流经？\nA.河南、河北\nB.湖南、湖北\nC.山东、山西\nD.广东、广西|A"};
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
                      "参考答案\n1.B 2、A\n3-4 AB\n")
        << QStringList{"1 p\nA.1\nB.2|B #只有 2 个选项", "3 q\nA.1\nB.2|A #只有 2 个选项",
                       "5 r\nA.1\nB.2|A #只有 2 个选项", "7 s\nA.1\nB.2|B #只有 2 个选项"};
    QTest::addRow("true or false, in brackets and on an answer line")
        << QByteArray("二、判断题\n1. 地球是圆的。（√）\n2. 太阳绕地球转。\n答案：错\n")
        << QStringList{
               "2 地球是圆的。（ ）\nA.正确\nB.错误|A #判断题，按“A.正确”“B.错误”两个选项录入",
               "3 太阳绕地球转。\nA.正确\nB.错误|B #判断题，按“A.正确”“B.错误”两个选项录入"};
    QTest::addRow("questions that cannot be drilled")
        << QByteArray("1. 单 A.1 B.2\n答案：AC\n三、多项选择题\n2. 多\nA.1 B.2\n答案：AB\n"
                      "四、填空题\n3. ____是首都\n答案：北京\n")
        << QStringList{"1 !多选题（答案 AC）无法练习：每道题只能有一个答案 #只有 2 个选项",
                       "4 !多选题无法练习：每道题只能有一个答案",
                       "8 !填空题无法练习：没有 A 到 D 的选项"};
    QTest::addRow("no answer, two answers, an answer past the options")
        << QByteArray("1. a\nA.1 B.2\n2. b\nA.1 B.2\n答案：A\n3. c\nA.1 B.2\n答案：C\n"
                      "答案：1.A 2.B\n")
        << QStringList{"1 a\nA.1\nB.2|A #只有 2 个选项", "3 b\nA.1\nB.2|A #只有 2 个选项",
                       "6 !答案 C 不在选项之中（只有 A 到 B） #只有 2 个选项",
                       "9 !第 2 题（第 3 行）有两个答案：A，答案表里是 B"};
    QTest::addRow("no answer anywhere, stray text")
        << QByteArray("前言\n1. a\nA.1 B.2\n")
        << QStringList{"1 !这里应当是带题号的题目，如“1. ……”",
                       "2 !缺少答案：没有答案行，题干的括号里没有答案，答案表里也没有第 1 题 #只有 "
                       "2 个选项"};
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

QTEST_GUILESS_MAIN(TestSources)
#include "tst_sources.moc"

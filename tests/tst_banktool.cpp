// The bank tool as its users run it: a separate process, judged by its exit
// code, its output and the files it leaves behind.
#include "bank/database.h"
#include "tests/support/bankfixture.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>
#include <optional>
#ifndef Q_OS_WIN
#include <pty.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_WIN
// Windows has no signals a program catches: it is ended at once.
constexpr int kEndAtOnce = 0;
#else
constexpr int kEndAtOnce = SIGKILL;
#endif

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

struct Row
{
    qint64 id;
    QString tm;
    QString da;
    qint64 xx;
};

QList<Row> rowsOf(const QString &bankPath)
{
    QList<Row> rows;
    bank::Database db;
    if (!db.open(bankPath, bank::Database::OpenMode::ReadOnly))
        return rows;
    bank::Statement read(db, QStringLiteral("SELECT id, tm, da, xx FROM kx ORDER BY rowid"));
    while (read.step())
        rows.append({read.int64Value(0), read.textValue(1), read.textValue(2), read.int64Value(3)});
    return rows;
}

// Every row's mark as the file holds it, NULL and all, in row id order.
QString marksOf(const QString &bankPath)
{
    bank::Database db;
    if (!db.open(bankPath, bank::Database::OpenMode::ReadOnly))
        return db.lastError();
    bank::Statement read(db, QStringLiteral("SELECT group_concat(m) FROM (SELECT ifnull(xx, "
                                            "'NULL') AS m FROM kx NOT INDEXED ORDER BY rowid)"));
    return read.step() ? read.textValue(0) : db.lastError();
}

} // namespace

class TestBankTool : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void create_readsAuthorsFiles_data();
    void create_readsAuthorsFiles();
    void create_readsLayouts_data();
    void create_readsLayouts();
    void create_namesBadRecordsAndWritesNothing_data();
    void create_namesBadRecordsAndWritesNothing();
    void usage_andExistingFilesAreRefused();
    void help_describesEveryOptionTheCommandTakes_data();
    void help_describesEveryOptionTheCommandTakes();
    void export_roundTripsByteForByte_data();
    void export_roundTripsByteForByte();
    void export_templateLayoutGivesTheTemplateBack();
    void check_countsKindsAndShowsTheFirstQuestion();
    void resetAndCarryMarks_keepProgressAcrossEditions();
#ifndef Q_OS_WIN
    void reset_asksOnATerminal_data();
    void reset_asksOnATerminal();
#endif
    void legacy_importsReadOnlyAndChecksThePassword();
    void create_leavesNothingWhenStopped_data();
    void create_leavesNothingWhenStopped();
    void machine_linesTellAProgramWhatHappens_data();
    void machine_linesTellAProgramWhatHappens();

private:
    Run tool(const QStringList &args);
    QString path(const QString &name) const
    {
        return m_dir->filePath(name);
    }
    void write(const QString &name, const QByteArray &bytes);

    std::optional<QTemporaryDir> m_dir;
};

void TestBankTool::init()
{
    m_dir.emplace();
    QVERIFY(m_dir->isValid());
}

Run TestBankTool::tool(const QStringList &args)
{
    QProcess process;
    process.setWorkingDirectory(m_dir->path());
    // No terminal: the tool must neither ask nor draw progress.
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QStringLiteral(KELVARO_BANK_TOOL), args);
    if (!process.waitForFinished(120000))
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

void TestBankTool::write(const QString &name, const QByteArray &bytes)
{
    QFile file(path(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

void TestBankTool::create_readsAuthorsFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("tm");
    QTest::addColumn<QString>("da");
    QTest::addColumn<int>("count");

    const QString composed = QStringLiteral("首都是？\nA.上海\nB.北京\nC.广州\nD.深圳");
    QTest::addRow("Excel's GBK CSV with CR LF, the authors' columns")
        << "gbk.csv"
        << QByteArray(testsupport::encoded(
               "GB18030", QStringLiteral("题干,A,B,C,D,答案\r\n　首都是？ "
                                         ",上海,北京,广州,深圳,ｂ\r\n题二,1,2,3,4,C\r\n")))
        << composed << "B" << 2;
    QByteArray utf16 =
        QByteArray(QStringEncoder(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom)
                       .encode(QStringLiteral("id\ttm\tda\txx\n7\t\"两行\n题目\"\tC\t1\n")));
    QTest::addRow("UTF-16 TSV, the bank's columns") << "bank.tsv" << utf16 << "两行\n题目"
                                                    << "C" << 1;
    QTest::addRow("text template")
        << "paste.txt"
        << QByteArray("1. 首都是？\r\nA. 上海\r\nB、北京\r\nC．广州\r\n(D)深圳\r\n答案：B\r\n"
                      "（2）第二题\n接着一行\nA:a\nB：b\nC.c\nD.d\n【答案】d\n"
                      "3、第三题\nA.a\nB.b\nC.c\nD.d\n正确答案：C\n")
        << composed << "B" << 3;
    // Detected from the whole file, not from its first chunk.
    const QByteArray ascii(1100 * 1024, 'x');
    QTest::addRow("GBK past a first MiB of ASCII")
        << "late.csv"
        << "id,tm,da,xx\r\n1,\"" + ascii + "\n" +
               testsupport::encoded("GB18030", QStringLiteral("首都是？\",B,0\r\n2,乙,A,0\r\n"))
        << QString::fromLatin1(ascii) + QStringLiteral("\n首都是？") << "B" << 2;
    // The undamaged original of a workbook whose damaged copies must be refused.
    QFile original(QStringLiteral(KELVARO_FIXTURES "/hostile/F02-xlsx-crc-deflate-original.xlsx"));
    QVERIFY(original.open(QIODevice::ReadOnly));
    QTest::addRow("workbook whose checksums hold")
        << "original.xlsx" << original.readAll()
        << "第2题：中国的首都是哪座城市？\nA.上海\nB.北京\nC.广州\nD.深圳"
        << "C" << 10;
}

void TestBankTool::create_readsAuthorsFiles()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, tm);
    QFETCH(QString, da);
    QFETCH(int, count);
    write(file, bytes);

    const Run run = tool({QStringLiteral("create"), path(QStringLiteral("kxst.db")),
                          QStringLiteral("--from"), path(file)});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    const QList<Row> rows = rowsOf(path(QStringLiteral("kxst.db")));
    QCOMPARE(rows.size(), count);
    QCOMPARE(rows.first().tm, tm);
    QCOMPARE(rows.first().da, da);
    if (da != QLatin1String("C"))
        QCOMPARE(rows.last().id, count);
}

void TestBankTool::create_readsLayouts_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QStringList>("options"); // besides create BANK --from FILE
    QTest::addColumn<QStringList>("stored");  // tm, da of each question in store order
    QTest::addColumn<QStringList>("told");    // what the output says, each somewhere

    const QString four = QStringLiteral("首都？\nA.上海\nB.北京\nC.广州\nD.深圳");
    QTest::addRow("dataset: unnamed index column, English names, blank lines")
        << QByteArray(",Question,A,B,C,D,Answer\r\n\r\n0,首都？,上海,北京,广州,深圳,B\r\n\r\n\r\n")
        << QStringList() << QStringList{four, "B"} << QStringList();
    QTest::addRow("aliases, full-width letters, a remark, columns not read")
        << QByteArray(
               "问题,选项Ａ,选项Ｂ,选项Ｃ,选项Ｄ,正确答案(只能输入ABCD否则报错),解析,页码,来源\n"
               "首都？,上海,北京,广州,深圳,B,因为,3,\n")
        << QStringList() << QStringList{four, "B"} << QStringList{"未导入的列：解析、页码、来源"};
    QTest::addRow("A选项, Option a, 参考答案, KEY, any case, 序号 ignored")
        << QByteArray(
               "序号,试题,A选项,B选项,C选项,D选项,参考答案\n1,首都？,上海,北京,广州,深圳,B\n")
        << QStringList() << QStringList{four, "B"} << QStringList();
    QTest::addRow("Option A and KEY") << QByteArray("STEM,option a,OPTION B,Option C,option "
                                                    "d,KEY,题号\n首都？,上海,北京,广州,深圳,B,9\n")
                                      << QStringList() << QStringList{four, "B"} << QStringList();
    QTest::addRow("题目, options, 类型; blanks and U+3000 trimmed")
        << QByteArray("编号,题目,options,正确答案,类型\n1,首都？,\"A.上海　 B.北京\tC.广州 "
                      "D.深圳\",B,单选\n"
                      "2,圆吗？,,B,判断\n")
        << QStringList() << QStringList{four, "B", "圆吗？\nA.正确\nB.错误", "B"} << QStringList();
    QTest::addRow("Question, Type; options trimmed")
        << QByteArray(
               "Question,A,B,C,D,Answer,Type\n"
               "首都？,\xE3\x80\x80上海,\" 北京\t\",广州\xE3\x80\x80,\xE3\x80\x80 深圳 ,B,单选题\n"
               "圆吗？,,,,,B,判断题\n")
        << QStringList() << QStringList{four, "B", "圆吗？\nA.正确\nB.错误", "B"} << QStringList();
    QTest::addRow("a quote inside a quoted field")
        << QByteArray("题干,A,B,C,D,答案\n\"say \"\"hi\"\"\",\"\"\"a\"\"\",b,c,d,A\n")
        << QStringList() << QStringList{"say \"hi\"\nA.\"a\"\nB.b\nC.c\nD.d", "A"} << QStringList();
    QTest::addRow("all options in one 选项 cell")
        << QByteArray("题目,选项,标准答案\n哪组？,\"A．河南、河北  B．湖南、湖北  C．山东、山西  "
                      "D．广东、广西\",C\n")
        << QStringList()
        << QStringList{"哪组？\nA.河南、河北\nB.湖南、湖北\nC.山东、山西\nD.广东、广西", "C"}
        << QStringList();
    QTest::addRow("options inside the stem, two and three options")
        << QByteArray("题干,答案\n\"首都？\nA.上海 B.北京\nC.广州\",B\n对吗？ A.对 B.错,A\n")
        << QStringList()
        << QStringList{"首都？\nA.上海\nB.北京\nC.广州", "B", "对吗？\nA.对\nB.错", "A"}
        << QStringList{"第 2 行：只有三个选项", "第 5 行：只有两个选项"};
    QTest::addRow("options repeating their letters")
        << QByteArray("题干,A,B,C,D,答案\n产业？,A.农业,B、工业,C．服务业,D:矿业,A\n"
                      "全角？,Ａ．甲,Ｂ、乙,c,d,B\n")
        << QStringList()
        << QStringList{"产业？\nA.农业\nB.工业\nC.服务业\nD.矿业", "A",
                       "全角？\nA.甲\nB.乙\nC.c\nD.d", "B"}
        << QStringList{"选项 A“A.农业”去掉了重复的“A.”"};
    QByteArray answers = "题干,A,B,C,D,答案\n";
    QStringList stored;
    const QStringList written = {"A.",    "A．",     "(B)", "（C）", "B、", "选B",
                                 "答案B", "答案：B", "ｄ",  "c",     "ａ"};
    const QString letters = QStringLiteral("AABCBBBBDCA");
    for (qsizetype i = 0; i < written.size(); ++i) {
        answers += "q" + QByteArray::number(i) + ",a,b,c,d," + written.at(i).toUtf8() + '\n';
        stored << QStringLiteral("q%1\nA.a\nB.b\nC.c\nD.d").arg(i) << letters.at(i);
    }
    QTest::addRow("answer cells as authors write them")
        << answers << QStringList() << stored << QStringList{"答案“（C）”按“C”录入"};
    answers = "题干,A,B,C,D,答案\n";
    stored.clear();
    const QStringList truths = {"正确", "错误", "对", "错", "√", "×", "T", "f", "TRUE", "False"};
    for (qsizetype i = 0; i < truths.size(); ++i) {
        answers += "s" + QByteArray::number(i) + ",,,,," + truths.at(i).toUtf8() + '\n';
        stored << QStringLiteral("s%1\nA.正确\nB.错误").arg(i) << (i % 2 ? "B" : "A");
    }
    answers += "own options,对,错,,,×\n";
    QTest::addRow("true or false")
        << answers << QStringList()
        << (stored << "own options\nA.对\nB.错"
                   << "B")
        << QStringList{"判断题，按 A.正确 B.错误 录入", "第 12 行：判断题的答案“×”按选项 B 录入"};
    QTest::addRow("mixed types, the unusable skipped")
        << QByteArray("题干,A,B,C,D,答案,题型\n"
                      "q1,a,b,c,d,A,单选题\nq2,a,b,c,d,AC,多选\nq3,,,,,北京,填空\n"
                      "q4,,,,,对,判断\nq5,a,b,c,d,\"A,C\",\nq6,,,,,略,Essay\nq7,a,b,c,d,A、C,\n")
        << QStringList{"--skip-unusable"}
        << QStringList{"q1\nA.a\nB.b\nC.c\nD.d", "A", "q4\nA.正确\nB.错误", "A"}
        << QStringList{
               "第 3 行：跳过：多选题", "第 4 行：跳过：填空题", "第 7 行：跳过：简答题",
               "：2 道题；提示 1 条（见上）；跳过 5 道（多选 3 道，填空 1 道，简答 1 道）\n"};
    QTest::addRow("text: the unusable skipped, a section giving the type")
        << QByteArray("1. 首都？\nA.上海\nB.北京\nC.广州\nD.深圳\n答案：B\n"
                      "2. 多选？\nA.1\nB.2\nC.3\nD.4\n答案：AC\n"
                      "三、填空题\n3. 北京是中国的____\n答案：首都\n")
        << QStringList{"--format", "txt", "--skip-unusable"}
        << QStringList{"首都？\nA.上海\nB.北京\nC.广州\nD.深圳", "B"}
        << QStringList{"第 7 行：跳过：多选题", "第 14 行：跳过：填空题",
                       "：1 道题；跳过 2 道（多选 1 道，填空 1 道）\n"};
    QTest::addRow("the bank's columns: answers in any case or width")
        << QByteArray("id,tm,da,xx\n1,q1,A,0\n2,q2,b,0\n3,q3,Ｃ,0\n4,q4,ｄ,0\n") << QStringList()
        << QStringList{"q1", "A", "q2", "B", "q3", "C", "q4", "D"}
        << QStringList{"第 3 行：答案“b”按“B”录入", "第 5 行：答案“ｄ”按“D”录入"};
    QTest::addRow("a repeated question is only noted")
        << QByteArray(
               "题干,A,B,C,D,答案\n首都？,上海,北京,广州,深圳,B\n首都？,上海,北京,广州,深圳,B\n")
        << QStringList() << QStringList{four, "B", four, "B"}
        << QStringList{"第 3 行：题目与第 2 行的相同"};
}

void TestBankTool::create_readsLayouts()
{
    QFETCH(QByteArray, csv);
    QFETCH(QStringList, options);
    QFETCH(QStringList, stored);
    QFETCH(QStringList, told);
    write(QStringLiteral("q.csv"), csv);

    const QString bank = path(QStringLiteral("kxst.db"));
    const Run run = tool(QStringList{QStringLiteral("create"), bank, QStringLiteral("--from"),
                                     path(QStringLiteral("q.csv"))} +
                         options);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    // Index columns are never named as left out.
    if (!told.join(u'\n').contains(QStringLiteral("未导入的列")))
        QVERIFY2(!run.out.contains(QStringLiteral("未导入的列")), qPrintable(run.out));
    QStringList rows;
    for (const Row &row : rowsOf(bank)) {
        QCOMPARE(row.xx, 0);
        rows << row.tm << row.da;
    }
    QCOMPARE(rows, stored);
    for (const QString &line : told)
        QVERIFY2(run.out.contains(line), qPrintable(run.out));
}

void TestBankTool::create_namesBadRecordsAndWritesNothing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("named");

    QTest::addRow("answer, flag, duplicate id, empty question")
        << QByteArray("id,tm,da,xx\r\n1,q1,A,0\r\n2,q2,Z,0\r\n3,q3,B,7\r\n1,q4,C,0\r\n5,,D,0\r\n")
        << QStringList{"第 3 行", "第 4 行", "第 5 行", "第 6 行"};
    QTest::addRow("lone CR line ends and a quoted break")
        << QByteArray("题干,A,B,C,D,答案\r\"多\r行\",1,2,3,4,A\rq,1,2,3,4,E\r")
        << QStringList{"第 4 行"};
    QTest::addRow("lines counted past a quoted LF")
        << QByteArray("题干,A,B,C,D,答案\n\"多\n行\",1,2,3,4,A\nq,1,2,3,4,E\n")
        << QStringList{"第 4 行：答案"};
    QTest::addRow("lines counted past a quoted CR LF")
        << QByteArray("题干,A,B,C,D,答案\r\n\"多\r\n\r\n行\",1,2,3,4,A\r\nq,1,2,3,4,E\r\n")
        << QStringList{"第 5 行：答案"};
    QTest::addRow("a bad record over three lines, named where it starts")
        << QByteArray("题干,A,B,C,D,答案\nq,1,2,3,4,A\n\"坏\n\n题\",1,2,3,4,E\n")
        << QStringList{"第 3 行：答案"};
    QTest::addRow("a fifth option, an answer outside the options, a gap")
        << QByteArray("题干,A,B,C,D,选项E,答案\nq,a,b,c,d,e,A\nq2,a,b,c,,,D\nq3,a,,c,d,,A\n"
                      " ,a,b,c,d,,A\nq5,a,,,,,A\n")
        << QStringList{"第 2 行：选项 E 有内容", "第 3 行：答案 D 不在给出的 3 个选项之中",
                       "第 4 行：选项 B 是空的", "第 5 行：题干是空的", "第 6 行：只有一个选项"};
    QTest::addRow("a quote never closed")
        << QByteArray("题干,A,B,C,D,答案\nq,a,b,c,d,A\n\"open,a,b,c,d,A\nq3,a,b,c,d,A\n")
        << QStringList{"第 3 行：从这一行开始的引号没有闭合"};
    QTest::addRow("multiple answers without --skip-unusable")
        << QByteArray("题干,A,B,C,D,答案\nq,a,b,c,d,ABC\n")
        << QStringList{"第 2 行：多选题（答案“ABC”）不能用一个按钮作答"};
    QTest::addRow("no known header") << QByteArray("name,score\n1,A\n") << QStringList{"第 1 行"};
    QTest::addRow("ids, marks and field counts in the bank's columns")
        << QByteArray("id,tm,da,xx\nx,q1,A,0\n2147483648,q2,A,0\n3,q3,A,2\n4,q4,A,\n"
                      "5,q5,A,0,extra\n6,q6,A\n7,a\"b,A,0\nlone\n8,\" \",A,0\n")
        << QStringList{"第 2 行：id“x”不是 32 位整数",
                       "第 3 行：id“2147483648”不是 32 位整数",
                       "第 4 行：xx“2”应当是 0 或 1",
                       "第 5 行：xx“”应当是 0 或 1",
                       "第 6 行：有 5 个字段，比标题行多 1 个",
                       "第 7 行：只有 3 个字段，标题行有 4 个",
                       "第 8 行：没有用引号括起的字段中出现了引号",
                       "第 9 行：只有 1 个字段，标题行有 4 个",
                       "第 10 行：题目是空的"};
}

void TestBankTool::create_namesBadRecordsAndWritesNothing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, named);
    write(QStringLiteral("bad.csv"), bytes);

    const Run run = tool({QStringLiteral("create"), path(QStringLiteral("kxst.db")),
                          QStringLiteral("--from"), path(QStringLiteral("bad.csv"))});
    QCOMPARE(run.exitCode, 1);
    for (const QString &line : named)
        QVERIFY2(run.err.contains(line), qPrintable(run.err));
    // Nothing written, not even a temporary file.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("bad.csv")});
}

void TestBankTool::usage_andExistingFilesAreRefused()
{
    QCOMPARE(tool({}).exitCode, 2);
    QCOMPARE(tool({QStringLiteral("create")}).exitCode, 2);
    QCOMPARE(tool({QStringLiteral("frobnicate")}).exitCode, 2);
    // Every command that reads a file takes the same input options, and checks them.
    for (const QString command : {"create", "check", "stats"}) {
        QStringList args{command, path(QStringLiteral("x.csv"))};
        if (command == u"create")
            args = QStringList{command, path(QStringLiteral("new.db")), "--from", args.last()};
        QCOMPARE(tool(args + QStringList{"--encoding", "klingon"}).exitCode, 2);
        QCOMPARE(tool(args + QStringList{"--format", "doc"}).exitCode, 2);
    }
    write(QStringLiteral("gbk.dat"),
          testsupport::encoded(
              "GB18030",
              QStringLiteral("1. 首都是？\nA. 上海\nB. 北京\nC. 广州\nD. 深圳\n答案：B\n")));
    write(QStringLiteral("utf16.dat"),
          testsupport::encoded("UTF-16LE", QStringLiteral("题干\tA\tB\tC\tD\t答案\n"
                                                          "首都？\t上海\t北京\t广州\t深圳\tB\n")));
    for (const auto &[file, format, name] : {std::tuple{"gbk.dat", "txt", "gb18030"},
                                             {"gbk.dat", "TEXT", "GBK"},
                                             {"utf16.dat", "tsv", "UTF16"}}) {
        const Run checked =
            tool({QStringLiteral("check"), path(QString::fromLatin1(file)), "--encoding",
                  QString::fromLatin1(name), "--format", QString::fromLatin1(format)});
        QVERIFY2(checked.exitCode == 0 && checked.out.contains(QStringLiteral("检查了 1 条")),
                 qPrintable(QString::fromLatin1(name) + u' ' + checked.err));
    }
    QFile::remove(path(QStringLiteral("utf16.dat")));
    QCOMPARE(
        tool({QStringLiteral("stats"), path(QStringLiteral("gbk.dat")), QStringLiteral("--format"),
              QStringLiteral("txt"), QStringLiteral("--encoding"), QStringLiteral("utf-8")})
            .exitCode,
        1);

#ifndef Q_OS_WIN
    // A device or a pipe is refused before it is opened: neither ends.
    QVERIFY(::mkfifo(QFile::encodeName(path(QStringLiteral("pipe.csv"))).constData(), 0600) == 0);
    for (const QString &endless : {QStringLiteral("/dev/zero"), path(QStringLiteral("pipe.csv"))}) {
        const Run refused = tool(
            {QStringLiteral("check"), endless, QStringLiteral("--format"), QStringLiteral("csv")});
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.err.contains(QStringLiteral("不是普通文件")), qPrintable(refused.err));
    }
    QFile::remove(path(QStringLiteral("pipe.csv")));
#endif
    // Bad records are counted apart, and make stats fail.
    write(QStringLiteral("bad.csv"), "id,tm,da,xx\n1,q,Z,0\n2,q2,A,0\n");
    const Run partly = tool({QStringLiteral("stats"), path(QStringLiteral("bad.csv"))});
    QCOMPARE(partly.exitCode, 1);
    QVERIFY2(partly.out.startsWith(QStringLiteral("题目总数：1\n")), qPrintable(partly.out));
    QVERIFY2(partly.err.contains(QStringLiteral("有 1 条记录有错，没有计入")),
             qPrintable(partly.err));
    QFile::remove(path(QStringLiteral("bad.csv")));
    // A decoding error past the first chunk, after records were read: no bank.
    QByteArray late = "id,tm,da,xx\n";
    for (int id = 1; late.size() < 1200 * 1024; ++id)
        late += QByteArray::number(id) + ",第" + QByteArray::number(id) + "题,A,0\n";
    write(QStringLiteral("late.csv"), late + "\xFF\n");
    const Run cut = tool({QStringLiteral("create"), path(QStringLiteral("late.db")),
                          QStringLiteral("--from"), path(QStringLiteral("late.csv")),
                          QStringLiteral("--encoding"), QStringLiteral("utf-8")});
    QCOMPARE(cut.exitCode, 1);
    QVERIFY2(cut.err.contains(QStringLiteral("不是有效的 UTF-8 文本")), qPrintable(cut.err));
    QVERIFY(!QFile::exists(path(QStringLiteral("late.db"))));

    // An SQLite file that is not a bank is neither backed up nor changed.
    testsupport::runSql(path(QStringLiteral("other.db")), "CREATE TABLE notes (x)");
    const QByteArray other = testsupport::fileHash(path(QStringLiteral("other.db")));
    const Run repair = tool({QStringLiteral("repair"), path(QStringLiteral("other.db"))});
    QCOMPARE(repair.exitCode, 1);
    QVERIFY2(repair.err.contains(path(QStringLiteral("other.db"))), qPrintable(repair.err));
    QCOMPARE(testsupport::fileHash(path(QStringLiteral("other.db"))), other);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"gbk.dat", "late.csv", "other.db"}));

    testsupport::makeBank(path(QStringLiteral("kxst.db")), 3);
    const QByteArray before = testsupport::fileHash(path(QStringLiteral("kxst.db")));
    const Run run = tool({QStringLiteral("create"), path(QStringLiteral("kxst.db")),
                          QStringLiteral("--from"), QStringLiteral(KELVARO_DEMO_CSV)});
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.err.startsWith(QStringLiteral("kelvaro-bank: ")));
    QCOMPARE(testsupport::fileHash(path(QStringLiteral("kxst.db"))), before);
}

void TestBankTool::help_describesEveryOptionTheCommandTakes_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("options");
    const QStringList input{"--format FORMAT", "--encoding ENCODING", "--password P",
                            "--sheet NAME|N"};
    QTest::newRow("create") << "create"
                            << QStringList{"--from FILE"} + input +
                                   QStringList{"--skip-unusable", "--machine"};
    QTest::newRow("export") << "export" << QStringList{"--to FILE", "--layout LAYOUT"};
    QTest::newRow("check") << "check" << input + QStringList{"--machine"};
    QTest::newRow("stats") << "stats" << input;
    QTest::newRow("reset") << "reset" << QStringList{"--yes"};
    QTest::newRow("carry-marks") << "carry-marks" << QStringList{};
    QTest::newRow("repair") << "repair" << QStringList{};
}

void TestBankTool::help_describesEveryOptionTheCommandTakes()
{
    QFETCH(QString, command);
    QFETCH(QStringList, options);
    const Run help = tool({QStringLiteral("help"), command});
    QCOMPARE(help.exitCode, 0);
    QCOMPARE(tool({command, QStringLiteral("--help")}).out, help.out);
    const QString usage = help.out.section(u'\n', 0, 0);
    const QString listed = help.out.section(QStringLiteral("\n选项：\n"), 1);
    QStringList seen;
    for (const QString &line : listed.split(u'\n', Qt::SkipEmptyParts)) {
        static const QRegularExpression option(QStringLiteral("^  (\\S.*?\\S)  +\\S"));
        const QRegularExpressionMatch match = option.match(line);
        QVERIFY2(match.hasMatch(), qPrintable(line)); // every option has its description
        seen.append(match.captured(1));
    }
    QCOMPARE(seen, options + QStringList{QStringLiteral("-h, --help")});
    for (const QString &option : std::as_const(options))
        QVERIFY2(usage.contains(option), qPrintable(usage));
}

void TestBankTool::export_roundTripsByteForByte_data()
{
    QTest::addColumn<QString>("through");
    QTest::addColumn<QByteArray>("csv"); // the bank's rows as exported; empty: the demo bank
    QTest::addRow("csv") << "middle.csv" << QByteArray();
    QTest::addRow("xlsx workbook") << "middle.xlsx" << QByteArray();
    const QByteArray awkward =
        "\xEF\xBB\xBFid,tm,da,xx\r\n1,\"a,b\",A,0\r\n2,\"say \"\"hi\"\"\",B,1\r\n"
        "3,\"x\ry\",C,0\r\n4,\"p\r\nq\",D,0\r\n5,\"l\nm\",A,0\r\n6,plain,B,0\r\n";
    QTest::addRow("csv, fields with a comma, a quote, CR, CR LF, LF") << "middle.csv" << awkward;
    QTest::addRow("xlsx, the same fields") << "middle.xlsx" << awkward;
}

void TestBankTool::export_roundTripsByteForByte()
{
    QFETCH(QString, through);
    QFETCH(QByteArray, csv);
    QString source = QStringLiteral(KELVARO_DEMO_CSV);
    if (!csv.isEmpty()) {
        source = path(QStringLiteral("source.csv"));
        write(QStringLiteral("source.csv"), csv);
    }
    const auto run = [this](const QStringList &args) {
        const Run result = tool(args);
        QVERIFY2(result.exitCode == 0, qPrintable(args.join(u' ') + u'\n' + result.err));
    };
    run({QStringLiteral("create"), path(QStringLiteral("a.db")), QStringLiteral("--from"), source});
    run({QStringLiteral("export"), path(QStringLiteral("a.db")), QStringLiteral("--to"),
         path(QStringLiteral("a.csv"))});
    run({QStringLiteral("export"), path(QStringLiteral("a.db")), QStringLiteral("--to"),
         path(through)});
    run({QStringLiteral("create"), path(QStringLiteral("b.db")), QStringLiteral("--from"),
         path(through)});
    run({QStringLiteral("export"), path(QStringLiteral("b.db")), QStringLiteral("--to"),
         path(QStringLiteral("b.csv"))});
    if (QTest::currentTestFailed())
        return;

    QFile a(path(QStringLiteral("a.csv"))), b(path(QStringLiteral("b.csv")));
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    const QByteArray exported = a.readAll();
    QVERIFY(exported.startsWith("\xEF\xBB\xBFid,tm,da,xx\r\n"));
    if (!csv.isEmpty())
        QCOMPARE(exported, csv);
    QCOMPARE(b.readAll(), exported);
    QCOMPARE(tool({QStringLiteral("export"), path(QStringLiteral("b.db")), QStringLiteral("--to"),
                   path(QStringLiteral("a.csv"))})
                 .exitCode,
             1);
}

void TestBankTool::export_templateLayoutGivesTheTemplateBack()
{
    QFile file(QStringLiteral(KELVARO_TEMPLATE_CSV));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray original = file.readAll();
    const QString bank = path(QStringLiteral("t.db"));
    QCOMPARE(
        tool({QStringLiteral("create"), bank, QStringLiteral("--from"), file.fileName()}).exitCode,
        0);
    QList<Row> stored = rowsOf(bank);
    QCOMPARE(stored.size(), 2);
    QCOMPARE(stored.at(0).tm,
             QStringLiteral("中国的首都是哪座城市？\nA.上海\nB.北京\nC.广州\nD.深圳"));
    QCOMPARE(stored.at(0).da, QStringLiteral("B"));
    QCOMPARE(stored.at(1).tm,
             QStringLiteral("一年有几个季节？\r\n（按气象划分）\nA.两个\nB.三个\nC.四个\nD.五个"));
    QCOMPARE(stored.at(1).da, QStringLiteral("C"));
    const QStringList exportArgs = {QStringLiteral("--to"), path(QStringLiteral("back.csv")),
                                    QStringLiteral("--layout"), QStringLiteral("template")};
    QCOMPARE(tool(QStringList{QStringLiteral("export"), bank} + exportArgs).exitCode, 0);
    QFile back(path(QStringLiteral("back.csv")));
    QVERIFY(back.open(QIODevice::ReadOnly));
    QCOMPARE(back.readAll(), original);

    // A text not composed from a template goes whole into 题干, and is named.
    write(QStringLiteral("free.csv"),
          "id,tm,da,xx\n1,\"q\nA.a\nB.b\",A,0\n2,\"说明：A.甲\",B,1\n3,\" 空格\nA.a\nB.b\",C,0\n");
    QCOMPARE(tool({QStringLiteral("create"), path(QStringLiteral("f.db")), QStringLiteral("--from"),
                   path(QStringLiteral("free.csv"))})
                 .exitCode,
             0);
    const Run run = tool(QStringList{QStringLiteral("export"), path(QStringLiteral("f.db")),
                                     QStringLiteral("--to"), path(QStringLiteral("f.csv")),
                                     QStringLiteral("--layout"), QStringLiteral("template")});
    QVERIFY2(run.exitCode == 0 && run.out.contains(QStringLiteral("第 2 道题、第 3 道题")),
             qPrintable(run.out + run.err));
    QFile free(path(QStringLiteral("f.csv")));
    QVERIFY(free.open(QIODevice::ReadOnly));
    QCOMPARE(free.readAll(), QByteArray("\xEF\xBB\xBF题干,A,B,C,D,答案\r\nq,a,b,,,A\r\n"
                                        "说明：A.甲,,,,,B\r\n\" 空格\nA.a\nB.b\",,,,,C\r\n"));

    // Many are counted, and the first 20 named.
    testsupport::makeBank(path(QStringLiteral("many.db")), 25);
    testsupport::runSql(path(QStringLiteral("many.db")), "UPDATE kx SET tm = 'plain ' || id");
    const Run many = tool(QStringList{QStringLiteral("export"), path(QStringLiteral("many.db")),
                                      QStringLiteral("--to"), path(QStringLiteral("many.csv")),
                                      QStringLiteral("--layout"), QStringLiteral("template")});
    QVERIFY2(many.out.startsWith(QStringLiteral("25 道题不是“题干、选项、答案”的样子")) &&
                 many.out.contains(QStringLiteral("第 19 道题、第 20 道题…\n")),
             qPrintable(many.out));
}

void TestBankTool::check_countsKindsAndShowsTheFirstQuestion()
{
    write(QStringLiteral("mixed.csv"),
          "题干,A,B,C,D,答案\n地球是圆的,,,,,对\n首都？,上海,北京,,,B\nq,a,b,c,d,AB\n");
    const Run run = tool({QStringLiteral("check"), path(QStringLiteral("mixed.csv"))});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.out.contains(QStringLiteral("题型：单选 1 道，判断 1 道，多选 1 道\n"
                                             "第一道题在学习页上显示为：\n"
                                             "地球是圆的\nA.正确\nB.错误\n正确答案是:A\n")),
             qPrintable(run.out));

    // A bank's every kind of fault, each on the row it is in.
    const QString faulty = path(QStringLiteral("faulty.db"));
    testsupport::makeBank(faulty, 1);
    testsupport::runSql(faulty, "INSERT INTO kx VALUES (NULL, 'q2', 'B', 0), (3, NULL, 'C', 0), "
                                "(4, '  ', 'D', 0), (5, 'q5', NULL, 0), (6, 'q6', 'E', 0), "
                                "(7, 'q7', 'A', NULL), (8, 'q8', 'A', -1), (9, 'q8', 'A', 1), "
                                "(10, '  ', 'A', 0), (1, 'q11', 'A', 0)");
    const Run lint = tool({QStringLiteral("check"), faulty});
    QCOMPARE(lint.exitCode, 1);
    QStringList findings;
    for (const QString &line : lint.out.split(u'\n'))
        if (line.startsWith(faulty + QStringLiteral(" 第")))
            findings.append(line.mid(faulty.size() + 1));
    QCOMPARE(findings,
             (QStringList{
                 "第 2 条：id 是 NULL", "第 3 条（id 3）：题目（tm）是 NULL",
                 "第 4 条（id 4）：题目是空的", "第 5 条（id 5）：答案（da）是 NULL",
                 "第 6 条（id 6）：答案“E”不是 A、B、C、D 之一，这道题永远答不对",
                 "第 7 条（id 7）：练习标记（xx）是 NULL，这道题永远不会出现在新题练习中",
                 "第 8 条（id 8）：练习标记 xx 是 -1，应当是 0 或 1，这道题永远不会出现在练习中",
                 "第 9 条（id 9）：题目与第 8 条的相同", "第 10 条（id 10）：题目是空的",
                 "第 11 条（id 1）：id 1 与第 1 条重复"}));
    QVERIFY2(lint.out.endsWith(faulty + QStringLiteral("：检查了 11 条，发现 10 处问题\n")),
             qPrintable(lint.out));

    // A bank whose records read well but whose index is damaged: SQLite's check finds it.
    const QString bank = path(QStringLiteral("kxst.db"));
    QCOMPARE(tool({QStringLiteral("create"), bank, QStringLiteral("--from"),
                   QStringLiteral(KELVARO_TEMPLATE_CSV)})
                 .exitCode,
             0);
    qint64 root = 0;
    {
        bank::Database db;
        QVERIFY(db.open(bank, bank::Database::OpenMode::ReadOnly));
        bank::Statement page(db, QStringLiteral("SELECT rootpage FROM sqlite_schema "
                                                "WHERE type = 'index' AND tbl_name = 'kx'"));
        QVERIFY(page.step());
        root = page.int64Value(0);
    }
    QFile file(bank);
    QVERIFY(file.open(QIODevice::ReadWrite) && file.seek((root - 1) * 4096));
    file.write(QByteArray(8, '\xff'));
    file.close();
    const Run damaged = tool({QStringLiteral("check"), bank});
    QCOMPARE(damaged.exitCode, 1);
    QVERIFY2(damaged.out.contains(bank + QStringLiteral("：SQLite 完整性检查：")),
             qPrintable(damaged.out + damaged.err));
}

void TestBankTool::resetAndCarryMarks_keepProgressAcrossEditions()
{
    write(QStringLiteral("old.csv"), "id,tm,da,xx\n1,甲,A,1\n2,乙,B,1\n3,丙,C,0\n4,丁,D,1\n");
    write(QStringLiteral("new.csv"), "id,tm,da,xx\n10,丙,C,0\n20,乙,B,0\n30,甲,A,0\n40,戊,D,0\n");
    for (const QString &name : {QStringLiteral("old"), QStringLiteral("new")})
        QCOMPARE(tool({QStringLiteral("create"), path(name + QStringLiteral(".db")),
                       QStringLiteral("--from"), path(name + QStringLiteral(".csv"))})
                     .exitCode,
                 0);
    // A practised question without text matches nothing: it is counted as not found.
    testsupport::runSql(path(QStringLiteral("old.db")), "INSERT INTO kx VALUES (5, NULL, 'A', 1)");
    const QByteArray oldHash = testsupport::fileHash(path(QStringLiteral("old.db")));
    // A NULL mark is not practised: the old bank's mark is carried onto it.
    testsupport::runSql(path(QStringLiteral("new.db")), "UPDATE kx SET xx = NULL WHERE id = 30");

    const Run carried = tool({QStringLiteral("carry-marks"), path(QStringLiteral("old.db")),
                              path(QStringLiteral("new.db"))});
    QVERIFY2(carried.exitCode == 0, qPrintable(carried.err));
    QCOMPARE(carried.out, QStringLiteral("新标记为已练习：2 道\n"
                                         "旧题库中已练习、新题库里找不到的题：2 道\n"));
    QCOMPARE(testsupport::fileHash(path(QStringLiteral("old.db"))), oldHash);
    QCOMPARE(marksOf(path(QStringLiteral("new.db"))), QStringLiteral("0,1,1,0"));
    testsupport::runSql(path(QStringLiteral("old.db")), "DELETE FROM kx WHERE id = 5");
    // One bank given twice is refused.
    const Run same = tool({QStringLiteral("carry-marks"), path(QStringLiteral("new.db")),
                           path(QStringLiteral("new.db"))});
    QCOMPARE(same.exitCode, 1);
    QVERIFY2(same.err.contains(QStringLiteral("同一个文件")), qPrintable(same.err));

    // Without a terminal to ask, reset refuses and changes nothing.
    QCOMPARE(tool({QStringLiteral("reset"), path(QStringLiteral("new.db"))}).exitCode, 2);
    QCOMPARE(marksOf(path(QStringLiteral("new.db"))), QStringLiteral("0,1,1,0"));
    // Only practised marks go back; marks the program does not know stay as they were.
    testsupport::runSql(path(QStringLiteral("new.db")),
                        "UPDATE kx SET xx = CASE id WHEN 10 THEN 2 WHEN 40 THEN NULL ELSE xx END");
    const Run reset =
        tool({QStringLiteral("reset"), path(QStringLiteral("new.db")), QStringLiteral("--yes")});
    QCOMPARE(reset.exitCode, 0);
    QCOMPARE(reset.out, QStringLiteral("已把 2 道题改回未练习\n"));
    QCOMPARE(marksOf(path(QStringLiteral("new.db"))), QStringLiteral("2,0,0,NULL"));
    QCOMPARE(rowsOf(path(QStringLiteral("new.db"))).size(), 4);

    testsupport::runSql(path(QStringLiteral("old.db")),
                        "UPDATE kx SET xx = CASE id WHEN 1 THEN 5 WHEN 3 THEN NULL ELSE xx END, "
                        "da = CASE id WHEN 4 THEN 'E' ELSE da END");
    const Run stats = tool({QStringLiteral("stats"), path(QStringLiteral("old.db"))});
    QCOMPARE(stats.exitCode, 0);
    QCOMPARE(stats.out, QStringLiteral("题目总数：4\n已练习（xx=1）：2\n未练习（xx=0）：0\n"
                                       "其他练习标记：2\n答案 A：1\n答案 B：1\n答案 C：1\n"
                                       "答案 D：0\n其他答案：1\n"));
}

#ifndef Q_OS_WIN
void TestBankTool::reset_asksOnATerminal_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QList<qint64>>("practised");
    QTest::addRow("an empty line") << QByteArray("\n") << 1 << QList<qint64>{1, 3};
    QTest::addRow("n") << QByteArray("n\n") << 1 << QList<qint64>{1, 3};
    QTest::addRow("y") << QByteArray("y\n") << 0 << QList<qint64>{};
    QTest::addRow("YES") << QByteArray(" YES\n") << 0 << QList<qint64>{};
}

void TestBankTool::reset_asksOnATerminal()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, exitCode);
    QFETCH(QList<qint64>, practised);
    const QString bank = path(QStringLiteral("kxst.db"));
    testsupport::makeBank(bank, 5, [](int i) { return i % 2 == 0; }); // ids 1, 3 and 5
    // Only the marks 1 are counted in the question and reset.
    testsupport::runSql(bank, "UPDATE kx SET xx = CASE id WHEN 2 THEN 2 WHEN 5 THEN NULL "
                              "ELSE xx END");
    const QByteArray program = KELVARO_BANK_TOOL;
    const QByteArray file = QFile::encodeName(bank);
    char *argv[] = {const_cast<char *>(program.constData()), const_cast<char *>("reset"),
                    const_cast<char *>(file.constData()), nullptr};
    int terminal = -1;
    const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    QVERIFY(pid >= 0);
    if (pid == 0) {
        ::execv(argv[0], argv);
        ::_exit(127);
    }
    // Everything the tool writes, until it has gone and the terminal reads EIO.
    QByteArray seen;
    char buffer[4096];
    bool answered = false;
    for (ssize_t n; (n = ::read(terminal, buffer, sizeof buffer)) > 0;) {
        seen.append(buffer, n);
        if (!answered && seen.contains("\xE7\xA1\xAE\xE8\xAE\xA4\xEF\xBC\x9A")) { // 确认：
            QCOMPARE(::write(terminal, answer.constData(), size_t(answer.size())),
                     ssize_t(answer.size()));
            answered = true;
        }
    }
    ::close(terminal);
    int status = 0;
    QCOMPARE(::waitpid(pid, &status, 0), pid);
    QVERIFY2(answered, seen.constData());
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), exitCode);
    QVERIFY2(QString::fromUtf8(seen).contains("要把 " + bank +
                                              " 中 2 道已练习的题全部改回未练习吗？输入 y 确认："),
             seen.constData());
    QVERIFY2(QString::fromUtf8(seen).contains(exitCode ? "已取消，题库没有改动"
                                                       : "已把 2 道题改回未练习"),
             seen.constData());
    QCOMPARE(testsupport::practisedIds(bank), practised);
    QCOMPARE(marksOf(bank).section(u',', 1, 1), QStringLiteral("2"));
}
#endif

void TestBankTool::legacy_importsReadOnlyAndChecksThePassword()
{
    const QString fixture = QStringLiteral(KELVARO_FIXTURES "/legacy/kx-edge-cases.jet4");
    if (!QFile::exists(fixture))
        QSKIP("legacy fixtures are not beside this checkout");
    // Named like the bank the old program kept beside itself.
    QVERIFY(QFile::copy(fixture, path(QStringLiteral("kxst.db"))));
    QFile::setPermissions(path(QStringLiteral("kxst.db")), QFile::ReadOwner | QFile::WriteOwner);
    const QByteArray before = testsupport::fileHash(path(QStringLiteral("kxst.db")));
#ifdef Q_OS_WIN
    // This build reads no old-format bank: it says what the file is and where to convert it.
    const Run refused = tool({QStringLiteral("create"), path(QStringLiteral("new.db")),
                              QStringLiteral("--from"), path(QStringLiteral("kxst.db"))});
    QCOMPARE(refused.exitCode, 1);
    QVERIFY2(refused.err.contains(QStringLiteral("是旧格式的题库")) &&
                 refused.err.contains(QStringLiteral("Linux")),
             qPrintable(refused.err));
    QVERIFY(!QFile::exists(path(QStringLiteral("new.db"))));
    QCOMPARE(testsupport::fileHash(path(QStringLiteral("kxst.db"))), before);
    return;
#endif

    const Run wrong = tool({QStringLiteral("create"), path(QStringLiteral("new.db")),
                            QStringLiteral("--from"), path(QStringLiteral("kxst.db")),
                            QStringLiteral("--password"), QStringLiteral("password")});
    QCOMPARE(wrong.exitCode, 1);
    QVERIFY2(wrong.err.contains(QStringLiteral("密码不对")), qPrintable(wrong.err));
    QVERIFY(!QFile::exists(path(QStringLiteral("new.db"))));

    const Run run = tool({QStringLiteral("create"), path(QStringLiteral("new.db")),
                          QStringLiteral("--from"), path(QStringLiteral("kxst.db"))});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    // Ids 1 and 2, and 400 of the numbered questions, carry xx = 1.
    QVERIFY2(run.out.contains(QStringLiteral("2008 道题，其中已练习 402 道")), qPrintable(run.out));
    QCOMPARE(rowsOf(path(QStringLiteral("new.db"))).size(), 2008);
    QCOMPARE(testsupport::fileHash(path(QStringLiteral("kxst.db"))), before);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden),
             (QStringList{QStringLiteral("kxst.db"), QStringLiteral("new.db")}));

    const Run stats = tool({QStringLiteral("stats"), path(QStringLiteral("kxst.db"))});
    QCOMPARE(stats.exitCode, 0);
    QVERIFY2(stats.out.contains(QStringLiteral("题目总数：2008")), qPrintable(stats.out));
    // check names each row by its place and its id.
    const Run checked = tool({QStringLiteral("check"), path(QStringLiteral("kxst.db"))});
    QCOMPARE(checked.exitCode, 1);
    QVERIFY2(checked.out.contains(QStringLiteral("第 5 行（id 5）：题目（tm）是 NULL")),
             qPrintable(checked.out));
}

void TestBankTool::create_leavesNothingWhenStopped_data()
{
    QTest::addColumn<int>("signal");
#ifndef Q_OS_WIN
    QTest::addRow("SIGINT") << SIGINT;
    QTest::addRow("SIGTERM") << SIGTERM;
    QTest::addRow("SIGHUP") << SIGHUP;
#endif
    QTest::addRow("ended at once, cleared by the next create") << kEndAtOnce;
}

void TestBankTool::create_leavesNothingWhenStopped()
{
    QFETCH(int, signal);
    // Some seconds of work, so that the signal comes while the bank is written
    // even when the machine is busy.
    static const QByteArray csv = [] {
        QByteArray rows = "id,tm,da,xx\n";
        for (int id = 1; id <= 600000; ++id)
            rows += QByteArray::number(id) + ",第 " + QByteArray::number(id) +
                    " 题：哪一项正确？," + "ABCD"[id % 4] + ",0\n";
        return rows;
    }();
    write(QStringLiteral("big.csv"), csv);
    // Another run's file, still held, and one of another bank: neither is ours to remove.
    write(QStringLiteral(".big.db.Held01"), "x");
    write(QStringLiteral(".other.db.abc123"), "x");
    QFile held(path(QStringLiteral(".big.db.Held01")));
    QVERIFY(held.open(QIODevice::ReadOnly));
#ifndef Q_OS_WIN
    // (On Windows the open file itself, which shares no deletion, is the hold.)
    QVERIFY(::flock(held.handle(), LOCK_EX | LOCK_NB) == 0);
#endif
    QStringList expected{QStringLiteral(".big.db.Held01"), QStringLiteral(".other.db.abc123"),
                         QStringLiteral("big.csv")};

    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
#ifndef Q_OS_WIN
    // The default actions, whatever the test runner ignores.
    process.setChildProcessModifier([] {
        for (const int caught : {SIGINT, SIGTERM, SIGHUP})
            ::signal(caught, SIG_DFL);
    });
#endif
    process.start(QStringLiteral(KELVARO_BANK_TOOL),
                  {QStringLiteral("create"), path(QStringLiteral("big.db")),
                   QStringLiteral("--from"), path(QStringLiteral("big.csv"))});
    QVERIFY(process.waitForStarted());
    const auto temporaries = [this] {
        QStringList names =
            QDir(m_dir->path())
                .entryList({QStringLiteral(".big.db.*")}, QDir::Files | QDir::Hidden);
        names.removeOne(QStringLiteral(".big.db.Held01"));
        return names;
    };
    QDeadlineTimer deadline(30000);
    while (temporaries().isEmpty() && process.state() == QProcess::Running &&
           !deadline.hasExpired())
        QThread::msleep(2);
    const QStringList written = temporaries();
    QCOMPARE(written.size(), 1);
    QVERIFY2(!QFile::exists(path(QStringLiteral("big.db"))), "finished before the signal");
#ifdef Q_OS_WIN
    process.kill();
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::CrashExit);
#else
    QCOMPARE(::kill(process.processId(), signal), 0);
    QVERIFY(process.waitForFinished(30000));
    // Ended by the signal itself, as a shell expects.
    QCOMPARE(process.exitStatus(), QProcess::CrashExit);
    QCOMPARE(process.exitCode(), signal);
#endif

    if (signal == kEndAtOnce) {
        QCOMPARE(temporaries(), written);
        write(QStringLiteral("small.csv"), "id,tm,da,xx\n1,题,A,0\n");
        const Run next = tool({QStringLiteral("create"), path(QStringLiteral("big.db")),
                               QStringLiteral("--from"), path(QStringLiteral("small.csv"))});
        QVERIFY2(next.exitCode == 0, qPrintable(next.err));
        QVERIFY2(next.out.contains(QStringLiteral("已删除上次中断留下的临时文件 ") +
                                   path(written.first())),
                 qPrintable(next.out));
        expected << QStringLiteral("big.db") << QStringLiteral("small.csv");
    }
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
}

void TestBankTool::machine_linesTellAProgramWhatHappens_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("extra"); // further arguments
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("lines"); // every line but the progress ones
    QTest::addColumn<int>("progressLines");

    const QByteArray good =
        "题干,A,B,C,D,答案\n首都是？,上海,北京,广州,深圳,b\n题二,1,2,3,4,C\n地球是圆的,,,,,对\n";
    const QByteArray bad = "id,tm,da,xx\n1,q1,A,0\n2,q2,Z,0\n1,q3,B,1\n";
    QTest::addRow("check: a note, the first question, the counts")
        << "check" << good << QStringList() << 0
        << QStringList{R"({"event":"note","line":2,"location":"第 2 行","text":"答案“b”按“B”录入"})",
                       R"({"da":"B","event":"first","tm":"首都是？\nA.上海\nB.北京\nC.广州\nD.深圳"})",
                       R"({"event":"note","line":4,"location":"第 4 行","text":"判断题，按 A.正确 B.错误 录入，答案“对”为 A"})",
                       R"({"answers":[1,1,1,0],"errors":0,"event":"result",)"
                       R"("kinds":[{"count":2,"kind":"单选"},{"count":1,"kind":"判断"}],"notes":2,"ok":true,)"
                       R"("otherAnswers":0,"practised":0,"questions":3,"records":3})"}
        << 0;
    QTest::addRow("check: the records that keep a bank from being made, with their lines")
        << "check" << bad << QStringList() << 1
        << QStringList{R"({"da":"A","event":"first","tm":"q1"})",
                       R"({"event":"finding","line":3,"location":"第 3 行","problems":["答案“Z”不是 A、B、C、D 之一"]})",
                       R"({"event":"finding","line":4,"location":"第 4 行","problems":["id 1 与第 2 行重复"]})",
                       R"({"answers":[1,0,0,0],"errors":2,"event":"result",)"
                       R"("kinds":[{"count":1,"kind":"单选"}],"notes":0,"ok":false,)"
                       R"("otherAnswers":0,"practised":0,"questions":1,"records":3})"}
        << 0;
    QByteArray lint = "id,tm,da,xx\n";
    QStringList listed;
    for (int id = 1; id <= 101; ++id) {
        lint += QByteArray::number(id) + ",q" + QByteArray::number(id) + ",Z,0\n";
        if (id <= 100)
            listed << QStringLiteral(R"({"event":"finding","line":%1,"location":"第 %1 行",)"
                                     R"("problems":["答案“Z”不是 A、B、C、D 之一"]})")
                          .arg(id + 1);
    }
    QTest::addRow("check: the first 100 findings listed, all counted")
        << "check" << lint << QStringList() << 1
        << (listed << R"({"answers":[0,0,0,0],"errors":101,"event":"result","kinds":[],)"
                      R"("notes":0,"ok":false,"otherAnswers":0,"practised":0,"questions":0,)"
                      R"("records":101})")
        << 0;
    QTest::addRow("create: written")
        << "create" << good << QStringList() << 0
        << QStringList{R"({"errors":0,"event":"result","ok":true,"practised":0,"written":3})"} << 0;
    QTest::addRow("create: refused, nothing written")
        << "create" << bad << QStringList() << 1
        << QStringList{R"({"event":"finding","text":"第 3 行：答案“Z”不是 A、B、C、D 之一"})",
                       R"({"event":"finding","text":"第 4 行：id 1 与第 2 行重复"})",
                       R"({"errors":2,"event":"result","failure":"共有 2 条记录有错，题库没有写入",)"
                       R"("ok":false,"practised":0,"written":0})"}
        << 0;
    QByteArray many = "id,tm,da,xx\n";
    for (int id = 1; id <= 10000; ++id)
        many += QByteArray::number(id) + ",第" + QByteArray::number(id) + "题,A,0\n";
    QTest::addRow("create: progress every 4096 records")
        << "create" << many << QStringList() << 0
        << QStringList{R"({"errors":0,"event":"result","ok":true,"practised":0,"written":10000})"}
        << 2;

    QFile legacy(QStringLiteral(KELVARO_FIXTURES "/legacy/access2000-password.mdb"));
#ifdef Q_OS_WIN
    return; // no legacy reader in the Windows build, so no password to tell
#endif
    if (!legacy.open(QIODevice::ReadOnly))
        return;
    const QByteArray withPassword = legacy.readAll();
    QFile open(QStringLiteral(KELVARO_FIXTURES "/legacy/access2000-no-password.mdb"));
    if (open.open(QIODevice::ReadOnly)) {
        QTest::addRow("check: an old file without a password")
            << "check" << open.readAll() << QStringList() << 1
            << QStringList{R"({"event":"result","failure":"%1 里没有表 kx","needsPassword":false,)"
                           R"("ok":false})"}
            << 0;
    }
    QTest::addRow("check: an old bank whose password is not the program's")
        << "check" << withPassword << QStringList() << 1
        << QStringList{R"({"event":"result","failure":"%1 的数据库密码不对：不是本程序的密码，)"
                       R"(请用 --password 给出它的密码","needsPassword":true,"ok":false})"}
        << 0;
    QTest::addRow("create: the same with its password given")
        << "create" << withPassword << QStringList{"--password", "password"} << 1
        << QStringList{R"({"event":"result","failure":"%1 里没有表 kx","needsPassword":false,"ok":false})"}
        << 0;
}

void TestBankTool::machine_linesTellAProgramWhatHappens()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, extra);
    QFETCH(int, exitCode);
    QFETCH(QStringList, lines);
    QFETCH(int, progressLines);
    write(QStringLiteral("in.dat"), bytes);
    const QString input = path(QStringLiteral("in.dat"));
    QStringList args = command == u"check"
                           ? QStringList{command, input}
                           : QStringList{command, path(QStringLiteral("new.db")), "--from", input};
    // An old bank is told by its content; a table needs its format named.
    if (bytes.startsWith("id,") || bytes.startsWith("题干"))
        args << "--format"
             << "csv";
    const Run run = tool(args + extra + QStringList{"--machine"});
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(run.err, QString());
    QStringList seen;
    int progress = 0;
    for (const QString &line : run.out.split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(R"({"bytesRead":)") && line.contains(R"("event":"progress")")) {
            QVERIFY2(line.contains(QStringLiteral("\"records\":%1,").arg(4096 * ++progress)),
                     qPrintable(line));
            continue;
        }
        seen.append(line);
    }
    for (QString &line : lines)
        line.replace(QStringLiteral("%1"), input);
    QCOMPARE(seen, lines);
    QCOMPARE(progress, progressLines);
    QCOMPARE(QFile::exists(path(QStringLiteral("new.db"))), command == u"create" && exitCode == 0);
}

QTEST_GUILESS_MAIN(TestBankTool)
#include "tst_banktool.moc"

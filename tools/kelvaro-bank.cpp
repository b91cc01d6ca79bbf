// kelvaro-bank: makes, exports, checks and looks after Kelvaro's question banks.

#include "authoring/bankmarks.h"
#include "authoring/banksource.h"
#include "authoring/checker.h"
#include "authoring/exporter.h"
#include "authoring/importer.h"
#include "authoring/jetheader.h"
#include "authoring/questionsource.h"
#include "bank/bankfile.h"
#include "bank/newfile.h"
#include "bank/store.h"
#include "practice/drill.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLibraryInfo>
#include <QStringList>
#include <QTextStream>
#include <QTranslator>

#include <cstdio>
#include <functional>
#include <map>
#include <variant>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

enum Exit
{
    Success = 0,
    Failure = 1, // the input or the bank is bad, or a check found problems
    Usage = 2
};

const QString kTool = QStringLiteral("kelvaro-bank");

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

int fail(const QString &message)
{
    err() << kTool << ": " << message << Qt::endl;
    return Failure;
}

// One command of the tool. Its options are listed once: the parser takes
// them, and the help and the usage line are printed from them.
struct Command
{
    QString name;
    QStringList arguments; // the names of the positional arguments, all required
    QList<QCommandLineOption> options;
    QStringList required; // the options that must be given
    QString summary;
    QString details; // what the command does, beyond the options
    std::function<int(const Command &, const QCommandLineParser &)> run;
};

const QList<Command> &commands();

const Command *findCommand(const QString &name)
{
    for (const Command &command : commands()) {
        if (command.name == name)
            return &command;
    }
    return nullptr;
}

const QCommandLineOption &helpOption()
{
    static const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                         QStringLiteral("显示这条说明"));
    return help;
}

// "-h, --help" or "--from FILE".
QString spelling(const QCommandLineOption &option)
{
    QStringList names;
    for (const QString &name : option.names())
        names.append((name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name);
    QString text = names.join(QStringLiteral(", "));
    if (!option.valueName().isEmpty())
        text += u' ' + option.valueName();
    return text;
}

QString synopsis(const Command &command)
{
    QStringList words{command.name};
    words += command.arguments;
    for (const QCommandLineOption &option : command.options) {
        const QString word = spelling(option);
        words.append(command.required.contains(option.names().constFirst())
                         ? word
                         : QStringLiteral("[%1]").arg(word));
    }
    return words.join(u' ');
}

QString commandHelp(const Command &command)
{
    QString text =
        QStringLiteral("用法：%1 %2\n\n%3\n").arg(kTool, synopsis(command), command.summary);
    if (!command.details.isEmpty())
        text += u'\n' + command.details;
    text += QStringLiteral("\n选项：\n");
    const QList<QCommandLineOption> options = command.options + QList{helpOption()};
    qsizetype width = 0;
    for (const QCommandLineOption &option : options)
        width = qMax(width, spelling(option).size());
    for (const QCommandLineOption &option : options)
        text += QStringLiteral("  %1  %2\n")
                    .arg(spelling(option).leftJustified(width), option.description());
    return text;
}

QString overview()
{
    QString text = QStringLiteral("用法：%1 命令 [参数…]\n\n"
                                  "制作、导出、检查和维护 Kelvaro 的题库。\n\n命令：\n")
                       .arg(kTool);
    for (const Command &command : commands())
        text += QStringLiteral("  %1  %2\n").arg(command.name.leftJustified(12), command.summary);
    text += QStringLiteral("\n“%1 help 命令”或“%1 命令 --help”显示该命令的说明；"
                           "“%1 --version”显示版本。\n"
                           "退出码：0 成功；1 输入或题库有问题，或检查发现了问题；2 用法不对。\n")
                .arg(kTool);
    return text;
}

int usageError(const Command &command, const QString &message)
{
    err() << kTool << ": " << message << '\n'
          << QStringLiteral("用法：%1 %2\n").arg(kTool, synopsis(command))
          << QStringLiteral("“%1 help %2”显示详细说明。").arg(kTool, command.name) << Qt::endl;
    return Usage;
}

// Parses the arguments of one command and runs it, unless help is asked
// for or the use is wrong.
int parseAndRun(const Command &command, const QStringList &args)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions(command.options);
    parser.addOption(helpOption());
    if (!parser.parse(QStringList{kTool} + args))
        return usageError(command, parser.errorText());
    if (parser.isSet(helpOption())) {
        out() << commandHelp(command) << Qt::flush;
        return Success;
    }
    const qsizetype given = parser.positionalArguments().size();
    if (given != command.arguments.size())
        return usageError(command, QStringLiteral("应当有 %1 个参数，实际有 %2 个")
                                       .arg(command.arguments.size())
                                       .arg(given));
    for (const QCommandLineOption &option : command.options) {
        if (command.required.contains(option.names().constFirst()) && !parser.isSet(option))
            return usageError(command, QStringLiteral("缺少 %1").arg(spelling(option)));
    }
    return command.run(command, parser);
}

// Whether `stream` is a terminal a person types at or reads. (Windows counts
// the NUL device as a character device, so isatty() would say yes to it.)
bool isTerminal(FILE *stream)
{
#ifdef Q_OS_WIN
    DWORD mode = 0;
    return GetConsoleMode(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))), &mode);
#else
    return isatty(fileno(stream));
#endif
}

// A line on stderr that tells how far long work has come, rewritten in place.
// Shown only on a terminal, and only once the work has taken a second.
class Progress
{
public:
    explicit Progress(const authoring::QuestionSource *source = nullptr)
        : m_source(source), m_terminal(isTerminal(stderr))
    {
        m_timer.start();
    }
    ~Progress() { clear(); }

    void update(qint64 records)
    {
        if (!m_terminal)
            return;
        const qint64 elapsed = m_timer.elapsed();
        if (elapsed < 1000 || elapsed - m_shownAt < 200)
            return;
        m_shownAt = elapsed;
        QString line =
            QStringLiteral("已处理 %1 条，每秒 %2 条").arg(records).arg(records * 1000 / elapsed);
        if (m_source && m_source->totalBytes() > 0)
            line += QStringLiteral("，%1%").arg(
                qMin<qint64>(100, m_source->bytesRead() * 100 / m_source->totalBytes()));
        err() << '\r' << line << "\033[K" << Qt::flush;
        m_shown = true;
    }

    void clear()
    {
        if (m_shown)
            err() << "\r\033[K" << Qt::flush;
        m_shown = false;
    }

private:
    const authoring::QuestionSource *m_source;
    bool m_terminal;
    QElapsedTimer m_timer;
    qint64 m_shownAt = 0;
    bool m_shown = false;
};

// Clears what an earlier run writing `target` left when it was killed.
void removeLeftovers(const QString &target)
{
    for (const QString &path : bank::NewFile::removeLeftovers(target))
        out() << QStringLiteral("已删除上次中断留下的临时文件 %1").arg(path) << '\n';
}

std::optional<authoring::Format> formatNamed(const QString &name)
{
    const QString n = name.toLower();
    if (n == u"csv")
        return authoring::Format::Csv;
    if (n == u"tsv")
        return authoring::Format::Tsv;
    if (n == u"xlsx")
        return authoring::Format::Xlsx;
    if (n == u"xls")
        return authoring::Format::Xls;
    if (n == u"ods")
        return authoring::Format::Ods;
    if (n == u"docx")
        return authoring::Format::Docx;
    if (n == u"txt" || n == u"text")
        return authoring::Format::Text;
    return std::nullopt;
}

std::optional<authoring::Encoding> encodingNamed(const QString &name)
{
    const QString n = name.toLower();
    if (n == u"utf-8" || n == u"utf8")
        return authoring::Encoding::Utf8;
    if (n == u"utf-16" || n == u"utf16")
        return authoring::Encoding::Utf16;
    if (n == u"gb18030" || n == u"gbk")
        return authoring::Encoding::Gb18030;
    return std::nullopt;
}

// The options that say how to read an input file, shared by the commands that read one.
QList<QCommandLineOption> inputOptions()
{
    return {{QStringLiteral("format"),
             QStringLiteral("文件格式：csv、tsv、xlsx、xls、ods、docx 或 txt；"
                            "不给时按内容和扩展名判断"),
             QStringLiteral("FORMAT")},
            {QStringLiteral("encoding"),
             QStringLiteral("文本编码：utf-8、utf-16 或 gb18030；不给时自动判断"),
             QStringLiteral("ENCODING")},
            {QStringLiteral("password"),
             QStringLiteral("旧版题库（Jet 4.0）的数据库密码；不给时用旧版程序的密码"),
             QStringLiteral("P")},
            {QStringLiteral("sheet"), QStringLiteral("要读的工作表：名称，或从 1 起的序号"),
             QStringLiteral("NAME|N")}};
}

// The input options given, or the exit code of a wrong use.
std::variant<authoring::SourceOptions, int> readInputOptions(const QCommandLineParser &parser,
                                                             const Command &command)
{
    const QString format = QStringLiteral("format");
    const QString encoding = QStringLiteral("encoding");
    authoring::SourceOptions options;
    if (parser.isSet(format)) {
        options.format = formatNamed(parser.value(format));
        if (!options.format)
            return usageError(command,
                              QStringLiteral("不认识的格式“%1”").arg(parser.value(format)));
    }
    if (parser.isSet(encoding)) {
        const auto named = encodingNamed(parser.value(encoding));
        if (!named)
            return usageError(command,
                              QStringLiteral("不认识的编码“%1”").arg(parser.value(encoding)));
        options.encoding = *named;
    }
    options.legacyPassword = parser.value(QStringLiteral("password"));
    options.sheet = parser.value(QStringLiteral("sheet"));
    return options;
}

// --machine: for a program that runs the tool as a child process (the
// window's import and conversion). Each line of stdout is one JSON object
// whose "event" is "progress", "finding", "note", "first" or, last, "result".
// A finding of check names its place ("location", "line") and its
// "problems"; one of create is a "text" that names the place itself.
namespace machine {

// Findings and notes listed; the counts in the result cover all of them.
constexpr int kListed = 100;
constexpr qint64 kProgressEvery = 4096;

const QString kOption = QStringLiteral("machine");

QCommandLineOption option(const QString &what)
{
    return {kOption, QStringLiteral("每行输出一个 JSON 对象（%1），供程序调用").arg(what)};
}

void emitEvent(const QString &event, QJsonObject object)
{
    object.insert(QStringLiteral("event"), event);
    out() << QJsonDocument(object).toJson(QJsonDocument::Compact) << '\n' << Qt::flush;
}

void emitProgress(qint64 records, const authoring::QuestionSource &source)
{
    emitEvent(QStringLiteral("progress"), {{QStringLiteral("records"), records},
                                           {QStringLiteral("bytesRead"), source.bytesRead()},
                                           {QStringLiteral("totalBytes"), source.totalBytes()}});
}

// Whether a source could not be opened only for want of its password: an old
// bank whose stored password is neither the one given nor the program's.
bool needsPassword(const QString &path, const authoring::SourceOptions &options)
{
    QString ignored;
    if (authoring::detectFormat(path, &ignored) != authoring::Format::Legacy)
        return false;
    const auto header = authoring::readJetHeaderOf(path);
    const QString expected =
        options.legacyPassword.isEmpty() ? bank::kBankPassword : options.legacyPassword;
    return header && !header->password.isEmpty() && header->password != expected;
}

int finish(QJsonObject result, const QString &failure, bool ok)
{
    result.insert(QStringLiteral("ok"), ok);
    if (!failure.isEmpty())
        result.insert(QStringLiteral("failure"), failure);
    emitEvent(QStringLiteral("result"), result);
    return ok ? Success : Failure;
}

int openFailure(const QString &path, const authoring::SourceOptions &options, const QString &error)
{
    return finish({{QStringLiteral("needsPassword"), needsPassword(path, options)}}, error, false);
}

// check --machine: reads the file as create would and tells what it would
// make of it: the records that would keep the bank from being written, the
// notes, the counts and the first question.
int preview(const QString &path, const authoring::SourceOptions &options)
{
    QString error;
    const auto source = authoring::openSource(path, options, &error);
    if (!source)
        return openFailure(path, options, error);
    authoring::Checker checker(*source, authoring::Checker::Mode::Create);
    authoring::Stats stats;
    std::map<authoring::QuestionKind, qint64> kinds; // of the good questions
    authoring::SourceRecord record;
    qint64 records = 0;
    qint64 errors = 0;
    qint64 notes = 0;
    while (source->next(record)) {
        if (++records % kProgressEvery == 0)
            emitProgress(records, *source);
        const QStringList problems = checker.check(record);
        if (!problems.isEmpty()) {
            if (errors++ < kListed)
                emitEvent(QStringLiteral("finding"),
                          {{QStringLiteral("location"), checker.describe(record)},
                           {QStringLiteral("line"), record.location},
                           {QStringLiteral("problems"), QJsonArray::fromStringList(problems)}});
            continue;
        }
        for (const QString &note : std::as_const(record.notes)) {
            if (notes++ < kListed)
                emitEvent(QStringLiteral("note"),
                          {{QStringLiteral("location"), checker.describe(record)},
                           {QStringLiteral("line"), record.location},
                           {QStringLiteral("text"), note}});
        }
        ++kinds[record.kind];
        if (stats.total == 0)
            emitEvent(QStringLiteral("first"),
                      {{QStringLiteral("tm"), record.question->tm.value_or(QString())},
                       {QStringLiteral("da"), record.question->da.value_or(QString())}});
        stats.add(*record.question);
    }
    QJsonArray answers;
    for (const qint64 count : stats.answers)
        answers.append(count);
    QJsonArray byKind;
    for (const auto &[kind, count] : kinds)
        byKind.append(QJsonObject{{QStringLiteral("kind"), authoring::kindName(kind)},
                                  {QStringLiteral("count"), count}});
    const QJsonObject result{
        {QStringLiteral("records"), records}, {QStringLiteral("questions"), stats.total},
        {QStringLiteral("kinds"), byKind},    {QStringLiteral("practised"), stats.practised},
        {QStringLiteral("answers"), answers}, {QStringLiteral("otherAnswers"), stats.otherAnswers},
        {QStringLiteral("errors"), errors},   {QStringLiteral("notes"), notes}};
    return finish(result, source->error(), errors == 0 && source->error().isEmpty());
}

// create --machine: writes the bank, telling how far it has come.
int create(const QString &bankPath, const QString &sourcePath,
           const authoring::SourceOptions &options)
{
    if (QFileInfo(bankPath).exists())
        return finish({}, QStringLiteral("%1 已经存在，不会覆盖").arg(bankPath), false);
    bank::NewFile::removeLeftovers(bankPath);
    QString error;
    const auto source = authoring::openSource(sourcePath, options, &error);
    if (!source)
        return openFailure(sourcePath, options, error);
    authoring::ImportHooks hooks;
    hooks.progress = [&](qint64 records) { emitProgress(records, *source); };
    authoring::ImportOutcome outcome;
    const bool written =
        authoring::importSource(*source, bankPath, bank::kBankPassword, &outcome, &error, hooks);
    for (const QString &message : outcome.errors)
        emitEvent(QStringLiteral("finding"), {{QStringLiteral("text"), message}});
    return finish({{QStringLiteral("written"), outcome.written},
                   {QStringLiteral("practised"), outcome.practised},
                   {QStringLiteral("errors"), outcome.errorCount}},
                  error, written);
}

} // namespace machine

// What is worth knowing about the file as a whole: the sheet read, the columns left out.
void printRemarks(const QString &path, const authoring::QuestionSource &source)
{
    for (const QString &remark : source.remarks())
        out() << path << ' ' << remark << '\n';
}

int runCreate(const Command &command, const QCommandLineParser &parser)
{
    const auto read = readInputOptions(parser, command);
    if (const int *exit = std::get_if<int>(&read))
        return *exit;
    const authoring::SourceOptions &options = std::get<authoring::SourceOptions>(read);
    const QString bankPath = parser.positionalArguments().first();
    const QString sourcePath = parser.value(QStringLiteral("from"));
    if (parser.isSet(machine::kOption))
        return machine::create(bankPath, sourcePath, options);

    if (QFileInfo(bankPath).exists())
        return fail(QStringLiteral("%1 已经存在，不会覆盖").arg(bankPath));
    removeLeftovers(bankPath);
    QString error;
    const auto source = authoring::openSource(sourcePath, options, &error);
    if (!source)
        return fail(error);
    printRemarks(sourcePath, *source);

    Progress progress(source.get());
    authoring::ImportHooks hooks;
    hooks.note = [&](const QString &note) {
        progress.clear();
        out() << sourcePath << ' ' << note << '\n';
    };
    if (parser.isSet(QStringLiteral("skip-unusable"))) {
        hooks.skipped = [&](const QString &why) {
            progress.clear();
            out() << sourcePath << ' ' << why << '\n';
        };
    }
    hooks.progress = [&](qint64 records) { progress.update(records); };
    authoring::ImportOutcome outcome;
    const bool written =
        authoring::importSource(*source, bankPath, bank::kBankPassword, &outcome, &error, hooks);
    progress.clear();
    out() << Qt::flush;
    if (!written) {
        for (const QString &message : outcome.errors)
            err() << kTool << ": " << sourcePath << ' ' << message << '\n';
        return fail(error);
    }
    out() << QStringLiteral("已写入 %1：%2 道题").arg(bankPath).arg(outcome.written);
    if (outcome.practised)
        out() << QStringLiteral("，其中已练习 %1 道").arg(outcome.practised);
    if (outcome.notes)
        out() << QStringLiteral("；提示 %1 条（见上）").arg(outcome.notes);
    if (!outcome.skipped.empty()) {
        qint64 skipped = 0;
        QStringList kinds;
        for (const auto &[kind, count] : outcome.skipped) {
            skipped += count;
            kinds.append(QStringLiteral("%1 %2 道").arg(authoring::kindName(kind)).arg(count));
        }
        out() << QStringLiteral("；跳过 %1 道（%2）").arg(skipped).arg(kinds.join(u'，'));
    }
    out() << Qt::endl;
    return Success;
}

int runExport(const Command &command, const QCommandLineParser &parser)
{
    const QString target = parser.value(QStringLiteral("to"));
    const QString layoutGiven = parser.value(QStringLiteral("layout"));
    const QString layoutName = layoutGiven.toLower();
    if (layoutName != u"bank" && layoutName != u"template")
        return usageError(command, QStringLiteral("不认识的列布局“%1”").arg(layoutGiven));
    const auto layout =
        layoutName == u"bank" ? authoring::ExportLayout::Bank : authoring::ExportLayout::Template;
    removeLeftovers(target);
    QString error;
    authoring::BankSource source;
    if (!source.open(parser.positionalArguments().first(), &error))
        return fail(error);
    Progress progress(&source);
    qint64 written = 0;
    qint64 unsplit = 0;
    QStringList whole;
    const bool exported = authoring::exportSource(
        source, target, layout, &written, &error,
        [&](qint64 row) {
            if (unsplit++ < authoring::kErrorsShown)
                whole.append(QStringLiteral("第 %1 道题").arg(row));
        },
        [&](qint64 records) { progress.update(records); });
    progress.clear();
    if (!exported)
        return fail(error);
    if (unsplit) {
        out() << QStringLiteral("%1 道题不是“题干、选项、答案”的样子，整个放在了题干列：%2")
                     .arg(unsplit)
                     .arg(whole.join(u'、'))
              << (unsplit > whole.size() ? QStringLiteral("…") : QString()) << '\n';
    }
    out() << QStringLiteral("已导出到 %1：%2 道题").arg(target).arg(written) << Qt::endl;
    return Success;
}

int runCheck(const Command &command, const QCommandLineParser &parser)
{
    const auto read = readInputOptions(parser, command);
    if (const int *exit = std::get_if<int>(&read))
        return *exit;
    const QString path = parser.positionalArguments().first();
    if (parser.isSet(machine::kOption))
        return machine::preview(path, std::get<authoring::SourceOptions>(read));
    QString error;
    const auto source =
        authoring::openSource(path, std::get<authoring::SourceOptions>(read), &error);
    if (!source)
        return fail(error);

    printRemarks(path, *source);
    qint64 findings = 0;
    for (const QString &problem : source->integrityProblems()) {
        out() << path << QStringLiteral("：SQLite 完整性检查：") << problem << '\n';
        ++findings;
    }
    Progress progress(source.get());
    authoring::Checker checker(*source, authoring::Checker::Mode::Lint);
    authoring::SourceRecord record;
    qint64 records = 0;
    std::map<authoring::QuestionKind, qint64> kinds;
    std::optional<bank::Question> first;
    while (source->next(record)) {
        progress.update(++records);
        ++kinds[record.kind];
        if (record.question && !first)
            first = record.question;
        const QStringList problems = checker.check(record);
        if (problems.isEmpty() && record.notes.isEmpty())
            continue;
        progress.clear();
        const QString where = path + QLatin1Char(' ') + checker.describe(record);
        for (const QString &problem : problems)
            out() << where << QStringLiteral("：") << problem << '\n';
        for (const QString &note : std::as_const(record.notes))
            out() << where << QStringLiteral("：提示：") << note << '\n';
        findings += problems.size();
    }
    progress.clear();
    out() << Qt::flush;
    if (!source->error().isEmpty())
        return fail(source->error());
    QStringList counts;
    for (const auto &[kind, count] : kinds)
        counts.append(QStringLiteral("%1 %2 道").arg(authoring::kindName(kind)).arg(count));
    if (!counts.isEmpty())
        out() << QStringLiteral("题型：%1\n").arg(counts.join(u'，'));
    if (first) {
        // The page shows every line break as a new line.
        QString shown =
            practice::studyPageText(first->tm.value_or(QString()), first->da.value_or(QString()));
        shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        shown.replace(u'\r', u'\n');
        out() << QStringLiteral("第一道题在学习页上显示为：\n") << shown << '\n';
    }
    if (findings) {
        out() << QStringLiteral("%1：检查了 %2 条，发现 %3 处问题")
                     .arg(path)
                     .arg(records)
                     .arg(findings)
              << Qt::endl;
        return Failure;
    }
    out() << QStringLiteral("%1：检查了 %2 条，没有发现问题").arg(path).arg(records) << Qt::endl;
    return Success;
}

int runStats(const Command &command, const QCommandLineParser &parser)
{
    const auto read = readInputOptions(parser, command);
    if (const int *exit = std::get_if<int>(&read))
        return *exit;
    QString error;
    const auto source = authoring::openSource(parser.positionalArguments().first(),
                                              std::get<authoring::SourceOptions>(read), &error);
    if (!source)
        return fail(error);
    authoring::Stats stats;
    qint64 bad = 0;
    authoring::SourceRecord record;
    Progress progress(source.get());
    while (source->next(record)) {
        if (record.question)
            stats.add(*record.question);
        else
            ++bad;
        progress.update(stats.total + bad);
    }
    progress.clear();
    if (!source->error().isEmpty())
        return fail(source->error());
    out() << QStringLiteral("题目总数：%1\n").arg(stats.total)
          << QStringLiteral("已练习（xx=1）：%1\n").arg(stats.practised)
          << QStringLiteral("未练习（xx=0）：%1\n").arg(stats.fresh)
          << QStringLiteral("其他练习标记：%1\n").arg(stats.otherFlags);
    for (int i = 0; i < 4; ++i)
        out() << QStringLiteral("答案 %1：%2\n").arg(QChar(u'A' + i)).arg(stats.answers[i]);
    out() << QStringLiteral("其他答案：%1").arg(stats.otherAnswers) << Qt::endl;
    if (bad)
        return fail(QStringLiteral("有 %1 条记录有错，没有计入；用 check 查看").arg(bad));
    return Success;
}

int runReset(const Command &command, const QCommandLineParser &parser)
{
    const QString bankPath = parser.positionalArguments().first();
    QString error;
    if (!parser.isSet(QStringLiteral("yes"))) {
        if (!isTerminal(stdin))
            return usageError(command,
                              QStringLiteral("没有终端可以确认；确实要清零，请加上 --yes"));
        qint64 practised = 0;
        if (!authoring::countPractised(bankPath, &practised, &error))
            return fail(error);
        err() << QStringLiteral("要把 %1 中 %2 道已练习的题全部改回未练习吗？输入 y 确认：")
                     .arg(bankPath)
                     .arg(practised)
              << Qt::flush;
        const QString answer = QTextStream(stdin).readLine().trimmed().toLower();
        if (answer != u"y" && answer != u"yes")
            return fail(QStringLiteral("已取消，题库没有改动"));
    }
    qint64 changed = 0;
    if (!authoring::resetMarks(bankPath, &changed, &error))
        return fail(error);
    out() << QStringLiteral("已把 %1 道题改回未练习").arg(changed) << Qt::endl;
    return Success;
}

int runCarryMarks(const Command &, const QCommandLineParser &parser)
{
    qint64 carried = 0;
    qint64 unmatched = 0;
    QString error;
    const QStringList banks = parser.positionalArguments();
    if (!authoring::carryMarks(banks.at(0), banks.at(1), &carried, &unmatched, &error))
        return fail(error);
    out() << QStringLiteral("新标记为已练习：%1 道\n").arg(carried)
          << QStringLiteral("旧题库中已练习、新题库里找不到的题：%1 道").arg(unmatched) << Qt::endl;
    return Success;
}

int runRepair(const Command &, const QCommandLineParser &parser)
{
    QString done;
    QString error;
    if (!bank::repairBank(parser.positionalArguments().first(), &done, &error))
        return fail(error);
    out() << done << Qt::endl;
    return Success;
}

const QList<Command> &commands()
{
    const QString bank = QStringLiteral("BANK");
    static const QList<Command> list = {
        {QStringLiteral("create"),
         {bank},
         QList<QCommandLineOption>{
             {QStringLiteral("from"), QStringLiteral("题目所在的文件"), QStringLiteral("FILE")}} +
             inputOptions() +
             QList<QCommandLineOption>{{QStringLiteral("skip-unusable"),
                                        QStringLiteral("跳过多选、填空、简答题并逐条列出，"
                                                       "只写入能练习的题")},
                                       machine::option(QStringLiteral("进度、有错的记录、结果"))},
         {QStringLiteral("from")},
         QStringLiteral("由题目文件或旧版题库制作新题库"),
         QStringLiteral(
             "FILE 可以是 CSV、TSV（制表符分隔）、Excel 工作簿（.xlsx、.xls）、"
             "OpenDocument 表格（.ods）、Word 文档（.docx）、纯文本模板（.txt），\n"
             "或旧版程序的题库（Access 2000 / Jet 4.0 格式的 kxst.db，只读不写）。\n"
             "表格的标题行是 id,tm,da,xx（题库自己的列）或 题干,A,B,C,D,答案（作者模板）；\n"
             "也认 题目/问题/Question、选项A/A选项/Option A、一列“选项”、参考答案/Answer、"
             "题型/Type 等列名，\n"
             "没有选项列时从题干中拆出选项。没有用到的列会列出。\n"
             "工作簿读 --sheet 指定的工作表，不指定时读第一个标题行是题目的可见工作表。\n"
             "判断题存为 A.正确 B.错误；多选、填空、简答题无法练习，是错误，"
             "除非加上 --skip-unusable。\n"
             "文本文件的编码由 BOM 决定；没有 BOM 时，合法的 UTF-8 按 UTF-8 读，否则按 GB18030"
             "（GBK）读。\n"
             "先检查全部记录：有错的记录按行号列出（最多 20 条），题库就不写入。\n"
             "已有的 BANK 不会被覆盖。\n"),
         runCreate},
        {QStringLiteral("export"),
         {bank},
         {{QStringLiteral("to"), QStringLiteral("导出到的 .csv 或 .xlsx 文件"),
           QStringLiteral("FILE")},
          {QStringLiteral("layout"), QStringLiteral("导出的列：bank（默认）或 template"),
           QStringLiteral("LAYOUT"), QStringLiteral("bank")}},
         {QStringLiteral("to")},
         QStringLiteral("把题库导出为 .csv 或 .xlsx"),
         QStringLiteral("导出 id,tm,da,xx 四列，或用 --layout template 导出 题干,A,B,C,D,答案"
                        "（不是这种样子的题整个放在题干列，并列出）。\n"
                        ".csv 为带 BOM 的 UTF-8、CR LF 换行；"
                        ".xlsx 为一个工作表。已有的 FILE 不会被覆盖。\n"),
         runExport},
        {QStringLiteral("check"),
         {QStringLiteral("FILE|BANK")},
         inputOptions() +
             QList{machine::option(QStringLiteral("按制作题库的标准检查：进度、问题及其位置、"
                                                  "统计、第一道题、结果"))},
         {},
         QStringLiteral("检查题目文件或题库，不做任何改动"),
         QStringLiteral("列出不是 A 到 D 的答案、空题目、重复的 id、重复的题目、不是 0 或 1 的"
                        "练习标记、NULL，题库还做 SQLite 完整性检查。\n"
                        "再按题型计数，并显示第一道题在学习页上的样子。\n"
                        "没有问题时退出码为 0，有问题时为 1。\n"),
         runCheck},
        {QStringLiteral("stats"),
         {QStringLiteral("BANK|FILE")},
         inputOptions(),
         {},
         QStringLiteral("统计题库：题目总数、已练习、未练习、各答案的题数"),
         QStringLiteral("只读取，不做改动。\n"),
         runStats},
        {QStringLiteral("reset"),
         {bank},
         {{QStringLiteral("yes"), QStringLiteral("不询问，直接清零")}},
         {},
         QStringLiteral("把全部练习标记改回未练习，从头开始"),
         QStringLiteral("只改练习标记，别的不动。不加 --yes 时在终端上询问；没有终端时拒绝，"
                        "不做改动。\n"),
         runReset},
        {QStringLiteral("carry-marks"),
         {QStringLiteral("OLD"), QStringLiteral("NEW")},
         {},
         {},
         QStringLiteral("把旧版题库的练习标记带到新版题库"),
         QStringLiteral("NEW 中题目（tm）与 OLD 中某道已练习的题相同的题，标记为已练习。"
                        "OLD 只读不写；两版的 id 可以不同。\n"),
         runCarryMarks},
        {QStringLiteral("repair"),
         {bank},
         {},
         {},
         QStringLiteral("重建损坏的题库索引并检查题库"),
         QStringLiteral("先在题库旁边写一份原样的备份（BANK.backup-日期-时间），再重建全部索引"
                        "（REINDEX），然后做 SQLite 完整性检查。\n"
                        "题库完好时退出码为 0；仍有损坏，或不是本程序的题库时为 1。"
                        "使用前请先关闭正在使用这个题库的程序。\n"),
         runRepair},
    };
    return list;
}

} // namespace

int main(int argc, char *argv[])
{
#ifdef Q_OS_WIN
    // The messages are written in UTF-8; a Chinese console reads GBK unless told.
    SetConsoleOutputCP(CP_UTF8);
    // Lines end in LF as on Linux, so a program reading --machine output (or a
    // file of it) sees the same bytes everywhere.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    // The progress line is rewritten in place with terminal escapes.
    DWORD mode = 0;
    const HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
    if (GetConsoleMode(console, &mode))
        SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
#endif
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(kTool);
    QCoreApplication::setApplicationVersion(QStringLiteral(KELVARO_VERSION));
    // Ctrl-C or a closed terminal during create or export leaves no hidden file behind.
    bank::NewFile::removeOnSignals();
    // Qt's own messages (an unknown option, a missing value) in Chinese.
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                          QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTranslator);

    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        err() << overview() << Qt::flush;
        return Usage;
    }
    const QString first = args.first();
    if (first == u"--help" || first == u"-h" || (first == u"help" && args.size() == 1)) {
        out() << overview() << Qt::flush;
        return Success;
    }
    if (first == u"--version" || first == u"-v") {
        out() << kTool << ' ' << QCoreApplication::applicationVersion() << Qt::endl;
        return Success;
    }
    if (first == u"help") {
        const Command *command = findCommand(args.at(1));
        if (!command) {
            err() << kTool << ": " << QStringLiteral("没有“%1”这个命令").arg(args.at(1))
                  << Qt::endl;
            return Usage;
        }
        out() << commandHelp(*command) << Qt::flush;
        return Success;
    }
    const Command *command = findCommand(first);
    if (!command) {
        err() << kTool << ": " << QStringLiteral("没有“%1”这个命令\n").arg(first) << overview()
              << Qt::flush;
        return Usage;
    }
    return parseAndRun(*command, args.mid(1));
}

// Making a bank of a million questions with `kelvaro-bank create`, against the
// sqlite3 shell's .import of the same file into the same table and index. Both
// run as child processes; the time is from start to exit, and the peak memory
// is the child's own.

#include "bank/database.h"
#include "bench/runbenchmarks.h"

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <vector>

extern char **environ;

namespace {

constexpr int kQuestions = 1'000'000;

QTemporaryDir &benchDir()
{
    static QTemporaryDir dir;
    return dir;
}

// The file is written once per layout and kept for the whole run.
QString csvFile(bool templateLayout)
{
    const QString path = benchDir().filePath(templateLayout ? QStringLiteral("template.csv")
                                                            : QStringLiteral("kx.csv"));
    if (QFile::exists(path))
        return path;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    QByteArray chunk =
        templateLayout ? QByteArray("题干,A,B,C,D,答案\n") : QByteArray("id,tm,da,xx\n");
    for (int i = 1; i <= kQuestions; ++i) {
        const QByteArray n = QByteArray::number(i);
        const char answer = "ABCD"[i % 4];
        if (templateLayout)
            chunk += "题目" + n + "：下列哪一项是正确的？,甲,乙,丙,丁," + answer + '\n';
        else
            chunk += n + ",\"题目" + n + "：下列哪一项是正确的？\nA.甲\nB.乙\nC.丙\nD.丁\"," +
                     answer + ',' + (i % 10 == 0 ? '1' : '0') + '\n';
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    file.write(chunk);
    if (!file.flush())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

struct ChildRun
{
    double seconds = 0;
    long peakKiB = 0;
    bool ok = false;
};

// Runs a program with its output thrown away but for errors, which go to `log`.
ChildRun runChild(const QStringList &args, const QString &log)
{
    std::vector<QByteArray> storage;
    for (const QString &arg : args)
        storage.push_back(arg.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &arg : storage)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const QByteArray logPath = log.toLocal8Bit();
    posix_spawn_file_actions_addopen(&actions, 2, logPath.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    ChildRun run;
    pid_t pid = 0;
    const auto start = std::chrono::steady_clock::now();
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return run;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peakKiB = usage.ru_maxrss;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

qint64 questionCount(const QString &bankPath)
{
    bank::Database db;
    if (!db.open(bankPath, bank::Database::OpenMode::ReadOnly))
        return -1;
    bank::Statement count(db, QStringLiteral("SELECT count(*) FROM kx"));
    return count.step() ? count.int64Value(0) : -1;
}

enum class Maker
{
    Tool,
    Shell
};

void BM_Create(benchmark::State &state, Maker maker, bool templateLayout)
{
    QStringList command;
    const QString csv = csvFile(templateLayout);
    const QString bankPath = benchDir().filePath(QStringLiteral("made.db"));
    if (maker == Maker::Tool) {
        command = {QStringLiteral(KELVARO_BANK_TOOL), QStringLiteral("create"), bankPath,
                   QStringLiteral("--from"), csv};
    } else {
        const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
        if (shell.isEmpty()) {
            state.SkipWithError("the sqlite3 shell is not installed");
            return;
        }
        command = {shell,
                   QStringLiteral("-batch"),
                   bankPath,
                   QStringLiteral("CREATE TABLE kx (id INTEGER, tm TEXT, da TEXT, xx INTEGER)"),
                   QStringLiteral(".import --csv --skip 1 %1 kx").arg(csv),
                   QStringLiteral("CREATE INDEX kx_xx ON kx (xx)")};
    }
    const QString log = benchDir().filePath(QStringLiteral("child.log"));
    long peakKiB = 0;
    for (auto _ : state) {
        QFile::remove(bankPath);
        const ChildRun run = runChild(command, log);
        if (!run.ok) {
            QFile errors(log);
            errors.open(QIODevice::ReadOnly);
            state.SkipWithError(errors.readAll().left(500).constData());
            return;
        }
        state.SetIterationTime(run.seconds);
        peakKiB = std::max(peakKiB, run.peakKiB);
    }
    if (questionCount(bankPath) != kQuestions)
        state.SkipWithError("the bank does not hold every question");
    QFile::remove(bankPath);
    state.counters["peak_MB"] = double(peakKiB) * 1024 / 1e6;
}

// A few runs each: one takes seconds.
BENCHMARK_CAPTURE(BM_Create, tool_bank_columns, Maker::Tool, false)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Create, sqlite3_shell_bank_columns, Maker::Shell, false)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Create, tool_template, Maker::Tool, true)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    return runBenchmarks(argc, argv);
}

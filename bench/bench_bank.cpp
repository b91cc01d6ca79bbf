// How opening the bank, the three practice modes and durable writes scale
// with the bank's size. Times are wall-clock, measured around the work alone.

#include "bank/bankfile.h"
#include "bank/connection.h"
#include "bank/database.h"
#include "bank/query.h"
#include "bank/store.h"
#include "bench/runbenchmarks.h"
#include "practice/drill.h"
#include "practice/frontend.h"
#include "practice/random.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <tuple>

namespace {

QTemporaryDir &benchDir()
{
    static QTemporaryDir dir;
    return dir;
}

// Banks are built once per shape and kept for the whole run: a million rows
// take a few seconds to write. The first `practised` questions are marked, as
// new-question practice leaves them.
QString bankOf(int rows, int practised)
{
    static std::map<std::pair<int, int>, QString> banks;
    const auto found = banks.find({rows, practised});
    if (found != banks.end())
        return found->second;
    const QString path =
        benchDir().filePath(QStringLiteral("kx-%1-%2.db").arg(rows).arg(practised));
    int i = 0;
    QString error;
    const bool written = bank::writeBank(
        path, bank::kBankPassword,
        [&]() -> std::optional<bank::Question> {
            if (i >= rows)
                return std::nullopt;
            ++i;
            return bank::Question{
                i, QStringLiteral("题目%1：下列哪一项是正确的？\nA.甲\nB.乙\nC.丙\nD.丁").arg(i),
                QStringLiteral("ABCD").mid(i % 4, 1), i <= practised ? 1 : 0};
        },
        &error);
    if (!written)
        qFatal("%s", qPrintable(error));
    banks.emplace(std::pair{rows, practised}, path);
    return path;
}

// A copy of a bank that one benchmark may write to, so that the others keep
// the shape they asked for.
QString privateCopy(int rows, int practised, const QString &tag)
{
    static std::map<std::tuple<int, int, QString>, QString> copies;
    const auto found = copies.find({rows, practised, tag});
    if (found != copies.end())
        return found->second;
    const QString path =
        benchDir().filePath(QStringLiteral("%1-%2-%3.db").arg(tag).arg(rows).arg(practised));
    if (!QFile::copy(bankOf(rows, practised), path))
        qFatal("cannot copy bench bank");
    copies.emplace(std::tuple{rows, practised, tag}, path);
    return path;
}

// A bank as the program has it right after start-up: connected, the whole
// table open.
struct OpenBank
{
    explicit OpenBank(const QString &path)
    {
        if (!ConnectAccessDb(connection, path, bank::kBankPassword))
            qFatal("cannot open bench bank");
        query.setConnection(&connection);
        OpenTable(query, bank::kQuestionTable);
        if (!query.isActive())
            qFatal("cannot open the question table");
    }
    bank::Connection connection;
    bank::Query query;
};

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

using Mode = void (practice::Drill::*)(bank::Query &);

// Presses one mode button again and again on the same open bank, as a user
// does after the first press.
void runRepeated(benchmark::State &state, Mode mode)
{
    OpenBank bank(bankOf(int(state.range(0)), int(state.range(1))));
    practice::SilentFrontend frontend;
    practice::Drill drill(frontend);
    practice::seedRandom(1);
    for (auto _ : state) {
        const auto start = Clock::now();
        (drill.*mode)(bank.query);
        state.SetIterationTime(secondsSince(start));
    }
}

// The first press after the program opened the bank: nothing is cached in
// the query yet. The file itself is in the system's cache, as it is once the
// program has started.
void runFirstPress(benchmark::State &state, Mode mode)
{
    const QString path = bankOf(int(state.range(0)), int(state.range(1)));
    practice::SilentFrontend frontend;
    practice::Drill drill(frontend);
    practice::seedRandom(1);
    for (auto _ : state) {
        OpenBank bank(path);
        const auto start = Clock::now();
        (drill.*mode)(bank.query);
        state.SetIterationTime(secondsSince(start));
    }
}

void standardShapes(benchmark::internal::Benchmark *b)
{
    // A tenth of each bank practised.
    b->ArgNames({"rows", "practised"});
    for (const int rows : {100, 10'000, 1'000'000})
        b->Args({rows, rows / 10});
}

void reviewShapes(benchmark::internal::Benchmark *b)
{
    standardShapes(b);
    b->Args({1'000'000, 100})->Args({1'000'000, 999'900});
}

void BM_OpenWholeTable(benchmark::State &state)
{
    OpenBank bank(bankOf(int(state.range(0)), int(state.range(0)) / 10));
    for (auto _ : state)
        benchmark::DoNotOptimize(OpenTable(bank.query, bank::kQuestionTable));
}
BENCHMARK(BM_OpenWholeTable)->Arg(100)->Arg(1'000'000)->Unit(benchmark::kMicrosecond);

// Connecting checks the password: 256 rounds in banks the tool writes now,
// 12,000 in older ones.
void BM_Connect(benchmark::State &state)
{
    const int rounds = int(state.range(0));
    QString path = bankOf(100, 10);
    if (rounds != bank::kPasswordIterations) {
        path = privateCopy(100, 10, QStringLiteral("rounds%1").arg(rounds));
        bank::Database db;
        const QByteArray salt("0123456789abcdef");
        if (!db.open(path, bank::Database::OpenMode::Create))
            qFatal("cannot open bench bank");
        bank::Statement set(db,
                            QStringLiteral("UPDATE kelvaro_meta SET value = ?2 WHERE name = ?1"));
        const QList<QPair<QString, QByteArray>> values = {
            {QStringLiteral("password_salt"), salt},
            {QStringLiteral("password_iterations"), QByteArray::number(rounds)},
            {QStringLiteral("password_hash"),
             bank::derivePasswordHash(bank::kBankPassword, salt, rounds)},
        };
        for (const auto &[name, value] : values) {
            set.reset();
            set.bindText(1, name);
            set.bindBlob(2, value);
            set.step();
        }
    }
    for (auto _ : state) {
        bank::Connection connection;
        if (!ConnectAccessDb(connection, path, bank::kBankPassword))
            qFatal("cannot open bench bank");
    }
}
BENCHMARK(BM_Connect)->ArgName("rounds")->Arg(256)->Arg(12'000)->Unit(benchmark::kMillisecond);

// 新题练习: 100 questions taken and marked in one durable commit. When too few
// new questions are left for a whole set, the marks are cleared untimed.
void BM_NewPractice(benchmark::State &state)
{
    const int rows = int(state.range(0));
    const int practised = int(state.range(1));
    OpenBank bank(privateCopy(rows, practised, QStringLiteral("new")));
    practice::SilentFrontend frontend;
    practice::Drill drill(frontend);
    int fresh = rows - practised;
    for (auto _ : state) {
        if (fresh < practice::kSetCapacity && fresh < rows - practised) {
            if (!bank.connection.database().execute(
                    QStringLiteral("UPDATE kx SET xx = (rowid <= %1)").arg(practised)))
                qFatal("cannot clear the marks");
            fresh = rows - practised;
        }
        const auto start = Clock::now();
        drill.newPractice(bank.query);
        state.SetIterationTime(secondsSince(start));
        fresh -= std::min(fresh, practice::kSetCapacity);
    }
}
BENCHMARK(BM_NewPractice)->Apply(standardShapes)->UseManualTime()->Unit(benchmark::kMillisecond);

// 旧题复习: up to 100 practised questions at random.
void BM_Review(benchmark::State &state)
{
    runRepeated(state, &practice::Drill::review);
}
BENCHMARK(BM_Review)->Apply(reviewShapes)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ReviewFirstPress(benchmark::State &state)
{
    runFirstPress(state, &practice::Drill::review);
}
BENCHMARK(BM_ReviewFirstPress)->Apply(reviewShapes)->UseManualTime()->Unit(benchmark::kMillisecond);

// 旧题复习 right after 新题练习 on the same connection: the marks just written
// make the practised rows' list stale, so each review lists them anew.
void BM_ReviewAfterNewPractice(benchmark::State &state)
{
    const int rows = int(state.range(0));
    const int practised = int(state.range(1));
    OpenBank bank(privateCopy(rows, practised, QStringLiteral("alternate")));
    practice::SilentFrontend frontend;
    practice::Drill drill(frontend);
    practice::seedRandom(1);
    for (auto _ : state) {
        drill.newPractice(bank.query);
        const auto start = Clock::now();
        drill.review(bank.query);
        state.SetIterationTime(secondsSince(start));
    }
}
BENCHMARK(BM_ReviewAfterNewPractice)
    ->ArgNames({"rows", "practised"})
    ->Args({1'000'000, 100'000})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// 随机练习: up to 100 of all questions at random.
void BM_RandomPractice(benchmark::State &state)
{
    runRepeated(state, &practice::Drill::randomPractice);
}
BENCHMARK(BM_RandomPractice)->Apply(standardShapes)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_RandomPracticeFirstPress(benchmark::State &state)
{
    runFirstPress(state, &practice::Drill::randomPractice);
}
BENCHMARK(BM_RandomPracticeFirstPress)
    ->Apply(standardShapes)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The floor under every durable write: the same pragmas as the store
// (synchronous=FULL, rollback journal), on a bank of a million questions.
// Each row's mark is flipped, so every statement really changes the file.
void BM_DurableCommits(benchmark::State &state)
{
    const bool oneCommit = state.range(0) == 1;
    constexpr int kRows = 1'000'000;
    bank::Database db;
    if (!db.open(privateCopy(kRows, kRows / 10, QStringLiteral("floor")),
                 bank::Database::OpenMode::ReadWrite))
        qFatal("cannot open bench bank");
    bank::Statement flip(db, QStringLiteral("UPDATE kx SET xx = 1 - xx WHERE rowid = ?1"));
    qint64 next = 1;
    for (auto _ : state) {
        const auto start = Clock::now();
        std::optional<bank::Transaction> batch;
        if (oneCommit && !batch.emplace(db).begin())
            qFatal("cannot begin");
        for (int i = 0; i < 100; ++i) {
            flip.reset();
            flip.bindInt64(1, next);
            flip.step();
            if (flip.hasError())
                qFatal("cannot write: %s", qPrintable(db.lastError()));
            next = next % kRows + 1;
        }
        if (batch && !batch->commit())
            qFatal("cannot commit");
        state.SetIterationTime(secondsSince(start));
    }
}
BENCHMARK(BM_DurableCommits)
    ->ArgName("one_commit")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    return runBenchmarks(argc, argv);
}

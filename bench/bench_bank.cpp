// How opening the bank and building practice sets scale with the bank's size.

#include "bank/bankfile.h"
#include "bank/connection.h"
#include "bank/query.h"
#include "bank/store.h"
#include "practice/drill.h"
#include "practice/frontend.h"
#include "practice/random.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

namespace {

class SilentFrontend : public practice::Frontend
{
public:
    void setQuestionText(practice::Page, const QString &) override {}
    void setProgressText(practice::Page, const QString &) override {}
    void setFeedbackText(const QString &) override {}
    void showPage(practice::Page) override {}
    void showInfo(const QString &) override {}
};

// Banks are built once per size and kept for the whole run: a million rows
// take a few seconds to write. Every tenth question is marked practised.
QString bankOfSize(int rows)
{
    static QTemporaryDir dir;
    static std::map<int, QString> banks;
    auto found = banks.find(rows);
    if (found != banks.end())
        return found->second;
    const QString path = dir.filePath(QStringLiteral("kx-%1.db").arg(rows));
    int i = 0;
    const QString error =
        bank::writeBank(path, bank::kBankPassword, [&]() -> std::optional<bank::Question> {
            if (i >= rows)
                return std::nullopt;
            ++i;
            return bank::Question{
                i, QStringLiteral("题目%1：下列哪一项是正确的？\nA.甲\nB.乙\nC.丙\nD.丁").arg(i),
                QStringLiteral("ABCD").mid(i % 4, 1), i % 10 == 0 ? 1 : 0};
        });
    if (!error.isEmpty())
        qFatal("%s", qPrintable(error));
    banks.emplace(rows, path);
    return path;
}

struct OpenBank
{
    explicit OpenBank(int rows)
    {
        if (!ConnectAccessDb(connection, bankOfSize(rows), bank::kBankPassword))
            qFatal("cannot open bench bank");
        query.setConnection(&connection);
    }
    bank::Connection connection;
    bank::Query query;
};

void BM_OpenWholeTable(benchmark::State &state)
{
    OpenBank bank(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(OpenTable(bank.query, bank::kQuestionTable));
}
BENCHMARK(BM_OpenWholeTable)->Arg(100)->Arg(1'000'000)->Unit(benchmark::kMicrosecond);

// Times one way of building a set, again and again on the same bank.
void runMode(benchmark::State &state, void (practice::Drill::*mode)(bank::Query &))
{
    OpenBank bank(int(state.range(0)));
    SilentFrontend frontend;
    practice::Drill drill(frontend);
    practice::seedRandom(1);
    for (auto _ : state)
        (drill.*mode)(bank.query);
}

void BM_RandomPractice(benchmark::State &state)
{
    runMode(state, &practice::Drill::randomPractice);
}
BENCHMARK(BM_RandomPractice)->Arg(100)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

void BM_Review(benchmark::State &state)
{
    runMode(state, &practice::Drill::review);
}
BENCHMARK(BM_Review)->Arg(1000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// Marks 100 questions per set, each written to the file at once.
void BM_NewPractice(benchmark::State &state)
{
    runMode(state, &practice::Drill::newPractice);
}
BENCHMARK(BM_NewPractice)->Arg(1'000'000)->Iterations(20)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

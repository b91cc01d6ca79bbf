// Start-up to the first paint of the program's window, against a bare window
// of the same size showing one label in the same Chinese face. Both are timed
// in this process (construction to the window's first paint event, with fonts
// and libraries already loaded) and as a new process (its start to that paint).
// The program's bank lies beside this executable, as it does beside the
// program: a million questions, its password hashed with 256 or 12,000 rounds.

#include "bank/bankfile.h"
#include "bank/database.h"
#include "bank/store.h"
#include "bench/runbenchmarks.h"
#include "ui/Unit_main.h"
#include "ui/chinesesupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

double secondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

enum class Window
{
    Bare,
    Real
};

const char *const kChildOption = "--first-paint";
const char *const kStartVariable = "KELVARO_BENCH_STARTED";

// Notes when the window it watches gets its first paint event.
class FirstPaint : public QObject
{
public:
    explicit FirstPaint(QWidget *window) { window->installEventFilter(this); }
    bool painted() const { return m_painted; }
    Clock::time_point at() const { return m_at; }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_painted) {
            m_at = Clock::now();
            m_painted = true;
        }
        return false;
    }

private:
    bool m_painted = false;
    Clock::time_point m_at;
};

// The bare window: the face the program asks for, substituted the same way.
void setUpBareFonts()
{
    QFont::insertSubstitutions(QStringLiteral("宋体"),
                               {QStringLiteral("SimSun"), QStringLiteral("Noto Serif CJK SC"),
                                QStringLiteral("AR PL UMing CN")});
    QFont::insertSubstitutions(QStringLiteral("SimSun"), {QStringLiteral("Noto Serif CJK SC"),
                                                          QStringLiteral("AR PL UMing CN")});
}

std::unique_ptr<QWidget> makeWindow(Window kind)
{
    if (kind == Window::Real)
        return std::make_unique<TForm_main>();
    auto window = std::make_unique<QWidget>();
    window->resize(772, 442);
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(16);
    window->setFont(font);
    auto *label = new QLabel(QStringLiteral("新题练习"), window.get());
    label->move(16, 9);
    return window;
}

struct PaintTimes
{
    double firstPaint = 0; // to the window's first paint event
    double frameDone = 0;  // to the end of the event that painted it, children and all
};

// Builds and shows a window, then runs the event loop until it has painted.
PaintTimes timeFirstPaint(Window kind, Clock::time_point start)
{
    std::unique_ptr<QWidget> window = makeWindow(kind);
    FirstPaint watcher(window.get());
    window->show();
    const auto giveUp = start + std::chrono::seconds(10);
    while (!watcher.painted() && Clock::now() < giveUp)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const auto done = Clock::now();
    if (!watcher.painted())
        qFatal("the window was never painted");
    return {secondsBetween(start, watcher.at()), secondsBetween(start, done)};
}

// The banks the window may find beside this executable, and the link that
// points at one of them.
class BankBeside
{
public:
    void use(int rounds)
    {
        const QString link =
            QCoreApplication::applicationDirPath() + QLatin1Char('/') + bank::kBankFileName;
        QFile::remove(link);
        if (!QFile::link(bankWithRounds(rounds), link))
            qFatal("cannot place the bank beside the bench");
        m_link = link;
    }
    ~BankBeside()
    {
        if (!m_link.isEmpty())
            QFile::remove(m_link);
    }

private:
    QString bankWithRounds(int rounds)
    {
        const QString path = m_dir.filePath(QStringLiteral("kx-%1.db").arg(rounds));
        if (QFile::exists(path))
            return path;
        if (rounds == bank::kPasswordIterations) {
            int i = 0;
            QString error;
            const bool written = bank::writeBank(
                path, bank::kBankPassword,
                [&]() -> std::optional<bank::Question> {
                    if (i >= 1'000'000)
                        return std::nullopt;
                    ++i;
                    return bank::Question{
                        i,
                        QStringLiteral("题目%1：下列哪一项是正确的？\nA.甲\nB.乙\nC.丙\nD.丁")
                            .arg(i),
                        QStringLiteral("ABCD").mid(i % 4, 1), i % 10 == 0 ? 1 : 0};
                },
                &error);
            if (!written)
                qFatal("%s", qPrintable(error));
            return path;
        }
        // An older bank: the same rows, the password hashed the old way.
        if (!QFile::copy(bankWithRounds(bank::kPasswordIterations), path))
            qFatal("cannot copy the bench bank");
        bank::Database db;
        if (!db.open(path, bank::Database::OpenMode::Create))
            qFatal("cannot open the bench bank");
        const QByteArray salt("0123456789abcdef");
        const QList<QPair<QString, QByteArray>> values = {
            {QStringLiteral("password_salt"), salt},
            {QStringLiteral("password_iterations"), QByteArray::number(rounds)},
            {QStringLiteral("password_hash"),
             bank::derivePasswordHash(bank::kBankPassword, salt, rounds)},
        };
        bank::Statement set(db,
                            QStringLiteral("UPDATE kelvaro_meta SET value = ?2 WHERE name = ?1"));
        for (const auto &[name, value] : values) {
            set.reset();
            set.bindText(1, name);
            set.bindBlob(2, value);
            set.step();
        }
        return path;
    }

    QTemporaryDir m_dir;
    QString m_link;
};

BankBeside *banks = nullptr;

void BM_FirstPaint(benchmark::State &state, Window kind, int rounds)
{
    if (kind == Window::Real)
        banks->use(rounds);
    double frames = 0;
    for (auto _ : state) {
        const PaintTimes times = timeFirstPaint(kind, Clock::now());
        state.SetIterationTime(times.firstPaint);
        frames += times.frameDone;
    }
    state.counters["frame_done_ms"] = frames * 1000 / double(state.iterations());
}

// A new process each time: loading the libraries, the application object,
// the fonts and the window, until the window's first paint event. The clock
// is the system's monotonic one, so the child can time from the moment the
// parent started it; it also reports when that first frame was done.
void BM_StartProcess(benchmark::State &state, Window kind, int rounds)
{
    if (kind == Window::Real)
        banks->use(rounds);
    const QStringList args = {QLatin1String(kChildOption), kind == Window::Real
                                                               ? QStringLiteral("real")
                                                               : QStringLiteral("bare")};
    double inMain = 0;
    double frames = 0;
    for (auto _ : state) {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        const auto start = Clock::now();
        environment.insert(QLatin1String(kStartVariable),
                           QString::number(start.time_since_epoch().count()));
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), args);
        bool got = false;
        while (!got && child.waitForReadyRead(10'000))
            got = child.canReadLine();
        if (!got)
            qFatal("the child never painted its window");
        const QList<QByteArray> figures = child.readLine().trimmed().split(' ');
        if (figures.size() != 3)
            qFatal("the child's report is garbled");
        state.SetIterationTime(figures.at(0).toDouble() / 1000);
        frames += figures.at(1).toDouble();
        inMain += figures.at(2).toDouble();
        child.waitForFinished();
    }
    state.counters["frame_done_ms"] = frames / double(state.iterations());
    state.counters["from_main_ms"] = inMain / double(state.iterations());
}

void registerBenchmarks()
{
    struct Variant
    {
        const char *name;
        Window kind;
        int rounds;
    };
    const Variant variants[] = {{"bare", Window::Bare, 0},
                                {"real_256_rounds", Window::Real, 256},
                                {"real_12000_rounds", Window::Real, 12'000}};
    for (const Variant &v : variants)
        benchmark::RegisterBenchmark((std::string("BM_FirstPaint/") + v.name).c_str(),
                                     BM_FirstPaint, v.kind, v.rounds)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    for (const Variant &v : variants)
        benchmark::RegisterBenchmark((std::string("BM_StartProcess/") + v.name).c_str(),
                                     BM_StartProcess, v.kind, v.rounds)
            ->UseManualTime()
            ->Iterations(20)
            ->Unit(benchmark::kMillisecond);
}

// The child: starts as the program does, prints the milliseconds from its
// start to the first paint event and to the end of that frame, and from main
// to the first paint event, and leaves.
int runChild(int argc, char **argv, Window kind)
{
    const auto inMain = Clock::now();
    const Clock::time_point started(
        Clock::duration(qEnvironmentVariable(kStartVariable).toLongLong()));
    QApplication app(argc, argv);
    if (kind == Window::Real)
        ui::installChineseSupport(app);
    else
        setUpBareFonts();
    const PaintTimes times = timeFirstPaint(kind, inMain);
    const double beforeMain = secondsBetween(started, inMain);
    std::printf("%.3f %.3f %.3f\n", (beforeMain + times.firstPaint) * 1000,
                (beforeMain + times.frameDone) * 1000, times.firstPaint * 1000);
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 3 && qstrcmp(argv[1], kChildOption) == 0)
        return runChild(argc, argv, qstrcmp(argv[2], "real") == 0 ? Window::Real : Window::Bare);

    // Qt wants a private runtime folder; children inherit it.
    QTemporaryDir runtime;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    QApplication app(argc, argv);
    // The window under test in this process is the one the program shows: the
    // substitution is the program's own, and the bare window asks for the same face.
    ui::installChineseSupport(app);
    BankBeside beside;
    banks = &beside;
    registerBenchmarks();
    return runBenchmarks(argc, argv);
}

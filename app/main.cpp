#include "bank/query.h"
#include "ui/Unit_main.h"
#include "ui/chinesesupport.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>

#include <cstdio>
#include <optional>
#include <string_view>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

// --version and --help are answered on the terminal before anything needs a
// display; the program takes no other command line.
static std::optional<int> answerOnTerminal(int argc, char *argv[])
{
#ifdef Q_OS_WIN
    // A windowed program has no console: it answers in the one it was started
    // from, unless its output goes to a file or a pipe already.
    const auto useStartingConsole = [] {
        if (!GetStdHandle(STD_OUTPUT_HANDLE) && AttachConsole(ATTACH_PARENT_PROCESS) &&
            std::freopen("CONOUT$", "w", stdout))
            SetConsoleOutputCP(CP_UTF8);
    };
#else
    const auto useStartingConsole = [] {};
#endif
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if (argument == "--version") {
            useStartingConsole();
            std::fputs("kelvaro " KELVARO_VERSION "\n", stdout);
            return 0;
        }
        if (argument == "--help") {
            useStartingConsole();
            std::fputs("用法：kelvaro\n\n"
                       "在本程序旁边的题库 kxst.db 上练习选择题（答案为 A 到 D）。\n"
                       "题库的制作、导出、检查和维护见 kelvaro-bank --help。\n",
                       stdout);
            return 0;
        }
    }
    return std::nullopt;
}

// The icon is compiled into the window's library, which registers it by hand.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

int main(int argc, char *argv[])
{
    if (const auto exit = answerOnTerminal(argc, argv))
        return *exit;
    QApplication app(argc, argv);
    initResources();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/kelvaro/kelvaro.png")));
    // Lets a Wayland desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(KELVARO_APP_ID));
    ui::installChineseSupport(app);
    TForm_main window;
    window.show();
    // For checking an installed copy: start as usual, then quit at once,
    // telling by the exit status whether the bank beside the program opened.
    if (QCoreApplication::arguments().contains(QStringLiteral("--check-start")))
        QTimer::singleShot(0, &window, [&window] {
            window.finishStartUp();
            QCoreApplication::exit(window.ADOQuery1->isActive() ? 0 : 2);
        });
    return app.exec();
}

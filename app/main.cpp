#include "bank/query.h"
#include "ui/Unit_main.h"
#include "ui/chinesesupport.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>

// The icon is compiled into the window's library, which registers it by hand.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

int main(int argc, char *argv[])
{
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

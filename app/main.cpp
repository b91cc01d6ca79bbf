#include "ui/Unit_main.h"
#include "ui/chinesesupport.h"

#include <QApplication>
#include <QIcon>

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
    ui::installChineseSupport(app);
    TForm_main window;
    window.show();
    return app.exec();
}

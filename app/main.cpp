#include "ui/Unit_main.h"
#include "ui/chinesesupport.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ui::installChineseSupport(app);
    TForm_main window;
    window.show();
    return app.exec();
}

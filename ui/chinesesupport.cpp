#include "ui/chinesesupport.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QTranslator>

namespace ui {

void installChineseSupport(QApplication &app)
{
    // Without this Qt picks a Japanese CJK face for these names on Linux.
    const QStringList songFaces = {QStringLiteral("Noto Serif CJK SC"),
                                   QStringLiteral("AR PL UMing CN")};
    QFont::insertSubstitutions(QStringLiteral("宋体"),
                               QStringList{QStringLiteral("SimSun")} + songFaces);
    QFont::insertSubstitutions(QStringLiteral("SimSun"), songFaces);

    auto *translator = new QTranslator(&app);
    if (translator->load(QStringLiteral("qtbase_zh_CN"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

} // namespace ui

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

    // The boxes, dialogs and tooltips draw in the default face. Under a locale
    // that is not Chinese its Han characters would come from whatever CJK face
    // the system picks, Japanese forms included: name a Simplified Chinese face
    // first, and keep the system's own face last for a system without one.
    QFont sans = QApplication::font();
    sans.setFamilies({QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Source Han Sans SC"),
                      QStringLiteral("Microsoft YaHei UI"), QStringLiteral("Microsoft YaHei"),
                      QStringLiteral("WenQuanYi Micro Hei"), sans.family()});
    QApplication::setFont(sans);

    auto *translator = new QTranslator(&app);
    if (translator->load(QStringLiteral("qtbase_zh_CN"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

} // namespace ui

#define JYSKIN_BUILDING
#include "skin/jyskin.h"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

namespace {

// Skin 27: a light, calm blue-grey look on the Fusion style.
QPalette paletteForSkin27()
{
    QPalette palette;
    const QColor face(0xE9, 0xEE, 0xF3);
    const QColor text(0x1E, 0x1E, 0x1E);
    palette.setColor(QPalette::Window, face);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::AlternateBase, QColor(0xF4, 0xF7, 0xFA));
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor(0xDD, 0xE5, 0xEE));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::Light, Qt::white);
    palette.setColor(QPalette::Midlight, QColor(0xF2, 0xF5, 0xF8));
    palette.setColor(QPalette::Mid, QColor(0xB4, 0xC0, 0xCC));
    palette.setColor(QPalette::Dark, QColor(0x8C, 0x9A, 0xA8));
    palette.setColor(QPalette::Shadow, QColor(0x5A, 0x66, 0x72));
    palette.setColor(QPalette::Highlight, QColor(0x2F, 0x6E, 0xB5));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::ToolTipBase, QColor(0xFF, 0xFB, 0xE6));
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x90, 0x90, 0x90));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x90, 0x90, 0x90));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(0x90, 0x90, 0x90));
    return palette;
}

} // namespace

extern "C" int32_t useskin(int32_t skin)
{
    if (skin != 27 || !qobject_cast<QApplication *>(QCoreApplication::instance()))
        return 0;
    if (QStyle *style = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(style);
    QApplication::setPalette(paletteForSkin27());
    return 1;
}

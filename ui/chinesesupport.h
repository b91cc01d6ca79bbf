#pragma once

class QApplication;

namespace ui {

// Makes the Windows font names the window asks for ("宋体", "SimSun") draw in
// a Chinese Song-style face, makes the default face of boxes, dialogs and
// tooltips a Simplified Chinese one, and loads Qt's own Chinese texts so
// standard buttons read 确定.
void installChineseSupport(QApplication &app);

} // namespace ui

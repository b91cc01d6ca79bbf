#include "ui/linklabel.h"

#include <QMouseEvent>
#include <QPainter>

namespace ui {

LinkLabel::LinkLabel(QWidget *parent) : QLabel(parent)
{
    setCursor(Qt::PointingHandCursor);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

void LinkLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QFont face = font();
    const bool underline = face.underline();
    face.setUnderline(false);
    painter.setFont(face);
    painter.setPen(palette().color(QPalette::WindowText));
    const int baseline = height() - 3;
    painter.drawText(QPoint(0, baseline), text());
    if (underline) {
        const int y = baseline + 1;
        painter.drawLine(0, y, painter.fontMetrics().horizontalAdvance(text()), y);
    }
}

} // namespace ui

#include "ui/bannerview.h"

#include <QPainter>

namespace ui {

BannerView::BannerView(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void BannerView::setImage(const QImage &image)
{
    m_image = image;
    update();
}

void BannerView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (m_image.isNull()) {
        painter.fillRect(rect(), palette().window());
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), m_image);
}

} // namespace ui

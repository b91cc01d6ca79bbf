#pragma once

#include <QImage>
#include <QWidget>

namespace ui {

// Shows a picture stretched to the widget's whole size, whatever its shape.
class BannerView : public QWidget
{
    Q_OBJECT

public:
    explicit BannerView(QWidget *parent = nullptr);

    void setImage(const QImage &image);
    QImage image() const { return m_image; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_image;
};

} // namespace ui

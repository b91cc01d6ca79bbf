#pragma once

#include <QLabel>

namespace ui {

// A label that reports a click of the left mouse button.
class LinkLabel : public QLabel
{
    Q_OBJECT

public:
    explicit LinkLabel(QWidget *parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    // CJK faces are taller than the line the layout leaves the label, so the
    // text sits on a baseline near the bottom with its underline drawn below it.
    void paintEvent(QPaintEvent *event) override;
};

} // namespace ui

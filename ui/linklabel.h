#pragma once

#include <QLabel>

namespace ui {

// A label that acts as a link: a click of the left mouse button, Enter or
// Space while it has the focus, or a screen reader's press action report it.
class LinkLabel : public QLabel
{
    Q_OBJECT

public:
    explicit LinkLabel(QWidget *parent = nullptr);

    void activate() { emit clicked(); }

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    // CJK faces are taller than the line the layout leaves the label, so the
    // text sits on a baseline near the bottom with its underline drawn below it.
    void paintEvent(QPaintEvent *event) override;
};

} // namespace ui

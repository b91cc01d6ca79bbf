#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

namespace testsupport {

struct BoxSeen
{
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttonCount = 0;
};

// Closes every modal message box that comes up while it lives, recording what
// it said, so that a test never hangs on a box and can check each one.
class ModalWatcher : public QObject
{
    Q_OBJECT

public:
    explicit ModalWatcher(QObject *parent = nullptr);

    // The boxes seen since the last call, oldest first.
    QList<BoxSeen> take();
    // The texts only.
    QStringList takeTexts();

private:
    void poll();

    QTimer m_timer;
    QList<BoxSeen> m_seen;
};

} // namespace testsupport

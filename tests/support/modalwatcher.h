#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

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
    // Runs `action` on each box before it is closed; a box the action leaves
    // open is closed with its OK button.
    void setWhileOpen(std::function<void(QMessageBox *)> action)
    {
        m_whileOpen = std::move(action);
    }

private:
    void poll();

    QTimer m_timer;
    QList<BoxSeen> m_seen;
    std::function<void(QMessageBox *)> m_whileOpen;
    bool m_inAction = false;
};

} // namespace testsupport

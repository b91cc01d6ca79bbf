#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
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

    // Runs `action` once on each other modal dialog (a file dialog, a
    // progress dialog, a dialog of the program's own) when it shows; the
    // action decides how it ends. One still open after 20 seconds is rejected.
    void setOnDialog(std::function<void(QDialog *)> action) { m_onDialog = std::move(action); }

private:
    void poll();

    QTimer m_timer;
    QList<BoxSeen> m_seen;
    std::function<void(QMessageBox *)> m_whileOpen;
    std::function<void(QDialog *)> m_onDialog;
    QPointer<QDialog> m_dialogSeen;
    QElapsedTimer m_dialogSince;
    static constexpr qint64 kDialogPatience = 20000;
    bool m_inAction = false;
};

} // namespace testsupport

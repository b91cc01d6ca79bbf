#include "tests/support/modalwatcher.h"

#include <QAbstractButton>
#include <QApplication>

namespace testsupport {

ModalWatcher::ModalWatcher(QObject *parent) : QObject(parent)
{
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, &ModalWatcher::poll);
    m_timer.start();
}

void ModalWatcher::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    auto *box = qobject_cast<QMessageBox *>(modal);
    auto *dialog = qobject_cast<QDialog *>(modal);
    if (!m_inAction && !box && dialog && m_onDialog && dialog->isVisible()) {
        if (m_dialogSeen != dialog) {
            m_dialogSeen = dialog;
            m_dialogSince.start();
            m_inAction = true;
            m_onDialog(dialog);
            m_inAction = false;
        } else if (m_dialogSince.hasExpired(kDialogPatience)) {
            // A dialog the action left open would hang the test: it fails instead.
            dialog->reject();
        }
        return;
    }
    if (m_inAction || !box || !box->isVisible())
        return;
    m_seen.append({box->windowTitle(), box->text(), box->icon(), int(box->buttons().size())});
    if (m_whileOpen) {
        m_inAction = true;
        m_whileOpen(box);
        m_inAction = false;
        if (!box->isVisible())
            return;
    }
    if (QAbstractButton *ok = box->button(QMessageBox::Ok))
        ok->click();
    else
        box->reject();
}

QList<BoxSeen> ModalWatcher::take()
{
    return std::exchange(m_seen, {});
}

QStringList ModalWatcher::takeTexts()
{
    QStringList texts;
    for (const BoxSeen &seen : take())
        texts.append(seen.text);
    return texts;
}

} // namespace testsupport

#include "ui/messageboxes.h"

#include "ui/apppath.h"

#include <QMessageBox>
#include <QPushButton>

namespace ui {

QString errorBoxText(const QString &message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void showErrorBox(const QString &message)
{
    QMessageBox box(QMessageBox::Critical, startup::applicationTitle(), errorBoxText(message),
                    QMessageBox::Ok);
    box.exec();
}

bool askErrorBox(const QString &message, const QString &action)
{
    QMessageBox box(QMessageBox::Critical, startup::applicationTitle(), errorBoxText(message));
    QPushButton *take = box.addButton(action, QMessageBox::AcceptRole);
    box.setEscapeButton(box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole));
    box.setDefaultButton(take);
    box.exec();
    return box.clickedButton() == take;
}

} // namespace ui

void ShowInfo(const QString &text)
{
    // No parent: the notice belongs to the application, not to one window.
    QMessageBox box(QMessageBox::Information, QStringLiteral("提示"), text, QMessageBox::Ok);
    box.exec();
}

#include "ui/messageboxes.h"

#include "app/apppath.h"

#include <QMessageBox>

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

} // namespace ui

void ShowInfo(const QString &text)
{
    // No parent: the notice belongs to the application, not to one window.
    QMessageBox box(QMessageBox::Information, QStringLiteral("提示"), text, QMessageBox::Ok);
    box.exec();
}

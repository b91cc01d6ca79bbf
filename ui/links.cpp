#include "ui/links.h"

#include <QDesktopServices>
#include <QDir>
#include <QProcess>
#include <QUrl>
#include <QUrlQuery>

namespace ui {

QString contactAddress()
{
    QUrl url;
    url.setScheme(QStringLiteral("https"));
    url.setHost(kContactHost);
    url.setPath(QStringLiteral("/msgrd"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("v"), QStringLiteral("3"));
    query.addQueryItem(QStringLiteral("uin"), kContactAccount);
    query.addQueryItem(QStringLiteral("site"), QStringLiteral("qq"));
    query.addQueryItem(QStringLiteral("menu"), QStringLiteral("yes"));
    url.setQuery(query);
    return url.toString();
}

} // namespace ui

bool ShellOpen(const QString &target, const QString &parameters, int showCommand)
{
    Q_UNUSED(showCommand);
    if (target.isEmpty())
        return false;
    if (!parameters.isEmpty()) {
        const QString folder = target.left(target.lastIndexOf(QLatin1Char('/')) + 1);
        return QProcess::startDetached(target, QProcess::splitCommand(parameters),
                                       folder.isEmpty() ? QDir::currentPath() : folder);
    }
    // "www.example.org" or "/home/me/notes.txt" become full URLs, as a shell would read them.
    const QUrl url = QUrl::fromUserInput(target, QDir::currentPath(), QUrl::AssumeLocalFile);
    return url.isValid() && QDesktopServices::openUrl(url);
}

#include "ui/links.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
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
    // A bare "www.example.org" is a web address, as a shell would read it; a
    // path that names a file opens that file.
    const QUrl url = QDir::isAbsolutePath(target) || QFileInfo::exists(target)
                         ? QUrl::fromLocalFile(QFileInfo(target).absoluteFilePath())
                         : QUrl::fromUserInput(target);
    return url.isValid() && QDesktopServices::openUrl(url);
}

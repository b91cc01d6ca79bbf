#include "ui/links.h"

#include <QDesktopServices>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>

#ifdef Q_OS_WIN
#include <windows.h>

#include <shellapi.h>
#endif

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

#ifdef Q_OS_WIN

bool ShellOpen(const QString &target, const QString &parameters, int showCommand)
{
    // The shell runs the target in the folder the target names, cut after its
    // last backslash or colon ("https:" for a web address, as the shell takes it).
    const qsizetype cut =
        std::max(target.lastIndexOf(QLatin1Char('\\')), target.lastIndexOf(QLatin1Char(':'))) + 1;
    const QString directory = target.left(cut);
    const auto wide = [](const QString &text) {
        return reinterpret_cast<const wchar_t *>(text.utf16());
    };
    const HINSTANCE result = ShellExecuteW(GetActiveWindow(), nullptr, wide(target),
                                           wide(parameters), wide(directory), showCommand);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

#else

bool ShellOpen(const QString &target, const QString &parameters, int showCommand)
{
    Q_UNUSED(showCommand);
    if (target.isEmpty())
        return false;
    if (!parameters.isEmpty()) {
        // A program is named by an absolute path or looked up on PATH; a
        // relative path would depend on the working folder.
        if (!QDir::isAbsolutePath(target) && target.contains(QLatin1Char('/')))
            return false;
        const QString folder = target.left(target.lastIndexOf(QLatin1Char('/')) + 1);
        return QProcess::startDetached(target, QProcess::splitCommand(parameters),
                                       folder.isEmpty() ? QDir::currentPath() : folder);
    }
    if (QDir::isAbsolutePath(target))
        return QDesktopServices::openUrl(QUrl::fromLocalFile(target));
    // "scheme:rest" is an address as given; anything else, "www.example.org"
    // or "docs/a.txt" alike, is a host and path on the web.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    const QUrl url(scheme.match(target).hasMatch() ? target : QStringLiteral("https://") + target,
                   QUrl::StrictMode);
    if (!url.isValid() || (url.isLocalFile() && !QDir::isAbsolutePath(url.toLocalFile())))
        return false;
    return QDesktopServices::openUrl(url);
}

#endif

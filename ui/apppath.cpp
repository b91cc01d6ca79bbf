#include "ui/apppath.h"

#include <QCoreApplication>
#include <QDir>

#include <algorithm>

namespace startup {

namespace {

// Where the folder part of a path ends: after its last delimiter, which on
// Windows is a backslash or a drive colon ("D:app.exe").
qsizetype folderEnd(const QString &path)
{
#ifdef Q_OS_WIN
    return std::max(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char(':'))) + 1;
#else
    return path.lastIndexOf(QLatin1Char('/')) + 1;
#endif
}

// The running executable as the system names it (Windows: with backslashes).
QString executablePath()
{
    return QDir::toNativeSeparators(QCoreApplication::applicationFilePath());
}

} // namespace

QString pathBeside(const QString &executablePath, const QString &name)
{
    return executablePath.left(folderEnd(executablePath)) + name;
}

QString titleFor(const QString &executablePath)
{
    QString title = executablePath.mid(folderEnd(executablePath));
    const qsizetype dot = title.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        title.truncate(dot);
    if (title.isEmpty())
        return title;
    // The first character is kept as it is, whole even when it takes two code units.
    const qsizetype first = title.at(0).isHighSurrogate() && title.size() > 1 ? 2 : 1;
    return title.left(first) + title.mid(first).toLower();
}

QString applicationTitle()
{
    return titleFor(executablePath());
}

} // namespace startup

QString AppFilePath(const QString &name)
{
    return startup::pathBeside(startup::executablePath(), name);
}

#include "app/apppath.h"

#include <QCoreApplication>

namespace startup {

QString pathBeside(const QString &executablePath, const QString &name)
{
    return executablePath.left(executablePath.lastIndexOf(QLatin1Char('/')) + 1) + name;
}

QString titleFor(const QString &executablePath)
{
    QString title = executablePath.mid(executablePath.lastIndexOf(QLatin1Char('/')) + 1);
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
    return titleFor(QCoreApplication::applicationFilePath());
}

} // namespace startup

QString AppFilePath(const QString &name)
{
    return startup::pathBeside(QCoreApplication::applicationFilePath(), name);
}

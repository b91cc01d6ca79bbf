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
    return title.left(1) + title.mid(1).toLower();
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

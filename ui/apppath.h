#pragma once

#include <QString>

// `name` in the folder of the running executable, whatever the working
// directory. The name is taken unchanged and no file is touched.
QString AppFilePath(const QString &name);

namespace startup {

// Everything of `executablePath` up to and including its last path delimiter
// ('/'; on Windows a backslash or a drive colon), then `name`.
QString pathBeside(const QString &executablePath, const QString &name);

// The application's title: the executable's file name cut at its first full
// stop, every letter after the first in lower case.
QString titleFor(const QString &executablePath);
QString applicationTitle();

} // namespace startup

#include "authoring/legacysource.h"

namespace authoring {

// This build has no Jet reader (libmdb is not built for Windows): an old-format
// bank is named for what it is, with where it can be converted.
std::unique_ptr<QuestionSource> openLegacySource(const QString &path, const SourceOptions &,
                                                 QString *error)
{
    *error = QStringLiteral("%1 是旧格式的题库（Access/Jet 数据库）。这个 Windows 版的 "
                            "kelvaro-bank 还不能读取旧格式：请在 Linux 版的 kelvaro-bank "
                            "上转换（kelvaro-bank create 新题库 --from 旧题库），"
                            "或者换用以后能读取旧格式的版本。")
                 .arg(path);
    return nullptr;
}

} // namespace authoring

#pragma once

#include "authoring/jetheader.h"
#include "authoring/questionsource.h"

#include <QString>

#include <memory>

namespace authoring {

// Opens a question bank of the old program, a Jet 4.0 database with table
// kx(id, tm, da, xx), strictly read-only. Its database password must be
// `options.legacyPassword`, or the program's when that is empty; a database
// without a password is accepted. Jet 3 and ACE files are refused. Values come
// back exactly as stored; a file cut short, a row that cannot be decoded, a
// value that cannot be read exactly (a long value whose chain loops or runs
// into another's), or a row count that differs from the table's own, stops
// the reading with an error that names the file and the row.
std::unique_ptr<QuestionSource> openLegacySource(const QString &path, const SourceOptions &options,
                                                 QString *error);

} // namespace authoring

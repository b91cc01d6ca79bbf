#pragma once

#include <QString>

namespace bank {

// Builds a new bank at `bankPath` from a UTF-8 CSV file with the header
// id,tm,da,xx. Nothing is written unless every record is good, and an existing
// bank is never replaced. Returns an empty string on success, else a message
// that names the file and, for a bad record, its line.
QString importCsv(const QString &csvPath, const QString &bankPath, const QString &password,
                  int *rowsWritten = nullptr);

} // namespace bank

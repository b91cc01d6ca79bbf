#pragma once

#include "bank/bankerror.h"
#include "bank/question.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace bank {

class Database;

// The question bank is an SQLite file marked with our own application id and
// format version. It holds table kx(id, tm, da, xx), an index on xx for the
// practice queries, and a salted password hash in kelvaro_meta.
inline constexpr qint32 kApplicationId = 0x4B564C52; // "KVLR"
inline constexpr int kFormatVersion = 1;
// The password is fixed in the program, so the hash only tells our banks from
// others': a few hundred rounds keep the check well under a millisecond. Banks
// written before with 12,000 rounds still open; any other cost is not ours
// and is refused before anything is computed.
inline constexpr int kPasswordIterations = 256;
inline constexpr int kMaxPasswordIterations = 12000;

// PBKDF2-HMAC-SHA256 with one 32-byte block.
QByteArray derivePasswordHash(const QString &password, const QByteArray &salt, int iterations);

enum class BankCheck
{
    Ok,
    NotABank,
    NewerFormat,
    WrongPassword,
    Unreadable
};

// Reads (never writes) an open database and says whether it is a question bank
// whose password is `password`. `detail` receives SQLite's text for Unreadable.
BankCheck checkBank(Database &db, const QString &password, QString *detail = nullptr);

// What a check that did not find a bank of this program says about the file
// at `path`, in words for the user; `detail` is SQLite's text for Unreadable.
QString bankCheckMessage(BankCheck check, const QString &path, const QString &detail = {});

// What SQLite's integrity check finds wrong with the whole file, one line a
// problem (a read that failed is one); empty when the file is sound.
QStringList integrityProblems(Database &db);

// The error for a bank whose file is damaged; `detail` (SQLite's text, or what
// was found) follows the Chinese line.
BankError damagedBank(const QString &path, const QString &detail);

// The error for a write the bank refused. A bank or a folder that may not be
// written is named, with what to do about it.
BankError writeFailure(Database &db);

// Rebuilds the indexes of the bank at `path` and checks the whole file, after
// copying the bank as it was to a new file beside it. A file that is not a
// bank of this program is left alone. Nothing is repaired unless asked. True
// with what was done in `done` when the bank is sound afterwards; false with
// the reason in `error` when nothing was done or the bank is still damaged
// (the error then names the backup too).
bool repairBank(const QString &path, QString *done, QString *error);

// Writes a complete bank to `path`, or nothing at all: the rows go to a
// temporary file beside it that is renamed into place only when whole. An
// existing file at `path` is never replaced. `next` is called until it returns
// nothing, so the rows need not all be in memory. False with the reason in
// `error` when nothing was written.
bool writeBank(const QString &path, const QString &password,
               const std::function<std::optional<Question>()> &next, QString *error);

} // namespace bank

#pragma once

#include "bank/bankfile.h"
#include "bank/connection.h"
#include "bank/query.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace testsupport {

// The answer letter the fixtures give question `id`: A, B, C, D in turn.
QString answerFor(qint64 id);
QString questionFor(qint64 id);

// Writes a bank of `count` questions with ids 1..count (`firstId` onwards),
// tm "题目N", da from answerFor, and xx from `practised` (0 when none given).
void makeBank(const QString &path, int count, const std::function<bool(int)> &practised = {},
              const QString &password = QString(), qint64 firstId = 1);

// Runs one raw SQL statement on a file (created if missing), for odd cases.
void runSql(const QString &path, const QString &sql);

// Row values straight from the file, in row id order.
QList<qint64> practisedIds(const QString &path);
QList<qint64> xxValues(const QString &path);

QByteArray fileHash(const QString &path);

// `text` in the named encoding ("GB18030", "UTF-16LE"...), as an author's
// file would hold it; Qt for Windows has no GB18030, so ICU encodes it there.
QByteArray encoded(const char *encoding, const QString &text);

// Removes everything beside the test executable but the executable itself, so
// that a bank left there by an earlier run cannot reach a window under test.
void clearExecutableFolder();

// A connection to the bank at `path` with the program's password, and a query on it.
struct BankSession
{
    explicit BankSession(const QString &path);
    bank::Connection connection;
    bank::Query query;
    bool connected = false;
};

} // namespace testsupport

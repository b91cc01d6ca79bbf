#pragma once

#include <QString>

namespace bank {

class Connection;
class Query;

// The bank the program uses: its file name beside the executable, its
// password and its question table.
inline const QString kBankFileName = QStringLiteral("kxst.db");
inline const QString kBankPassword = QStringLiteral("zkq.mvtrpw.xqz");
inline const QString kQuestionTable = QStringLiteral("kx");

// The connection string for a bank at `path` with `password`.
QString accessConnectionString(const QString &path, const QString &password);

} // namespace bank

// These never throw and never show anything: they report success by their
// result, which callers may ignore. A failed open leaves the query closed, and
// its record operations then say why.
bool ConnectAccessDb(bank::Connection &connection, const QString &path, const QString &password);
bool OpenTable(bank::Query &query, const QString &table);
bool OpenTableWhere(bank::Query &query, const QString &table, const QString &condition);

#pragma once

#include "bank/bankerror.h"
#include "bank/rowset.h"

#include <QString>
#include <QVariant>

#include <map>
#include <optional>

namespace bank {

class Database;

// A table or column name as SQL text, quoted.
QString quotedName(const QString &name);
// The error for a read that failed; damage is told apart.
BankError readError(Database &db);

// Which rows a query asks for: every row of a table, or those whose column
// holds an integer.
struct RowFilter
{
    QString table;
    QString column; // empty: every row
    qint64 value = 0;
};

// The rows that meet a query's filter. With an index on the filter's column,
// only the shorter side is listed, the rows that match or those that do not.
// A short side comes through the index with each of its rows checked in the
// table; the rows of the long side are taken on the index's word until they
// are read, when rowFailsFilter() catches one it filed wrongly. Rows that do
// not match are never read, so when the matching side is the short one the
// table counts its matching rows as well. A longer short side, or a filter
// without an index, is read from the table itself.
//
// The list is kept for the next time the same filter is asked for, as long as
// nothing was written to the bank since but the rows its query reported
// writing: those are taken into the list without reading it again. Anything
// else sends it back to the bank: a write through another connection, another
// statement's write on this one, a rollback.
//
// Throws BankError when the bank cannot be read or is found damaged.
class RowListing
{
public:
    RowSet rows(Database &db, const RowFilter &filter);

    // Called for a row of the list that the table says does not meet `filter`.
    // Unless the bank was written since the list was read, the index the list
    // took that row's place from is damaged: throws BankError saying so.
    void rowFailsFilter(Database &db, const RowFilter &filter, qint64 rowid);

    // A row the query wrote through `db`: the values by column name.
    void noteWrite(const QString &table, qint64 rowid, const QVariantHash &values);

    // For a new connection, whose counts start again.
    void forget();

private:
    // What moves when anyone writes to the bank: other connections' commits
    // its data version, this connection's writes its count of changed rows,
    // and a rollback (asked for, or the engine's own) may undo some of them.
    struct BankStamp
    {
        qint64 dataVersion = -1;
        qint64 changes = -1;
        quint64 rollbacks = 0;
    };
    static BankStamp bankStamp(Database &db);
    bool canFollow(const RowFilter &filter, const BankStamp &now) const;
    void takeInOwnWrites();

    struct Kept
    {
        RowFilter filter;
        BankStamp stamp;
        RowSet rows;
        QString trustedIndex; // whose word the list takes for rows it did not check
    };
    std::optional<Kept> m_kept;
    // The writes noted since the kept list was read or brought up to date.
    qint64 m_ownChanges = 0;
    bool m_followable = true;
    std::map<qint64, bool> m_matchesNow; // row id -> whether it meets the filter now
};

} // namespace bank

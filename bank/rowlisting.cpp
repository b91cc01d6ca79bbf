#include "bank/rowlisting.h"

#include "bank/bankerror.h"
#include "bank/bankfile.h"
#include "bank/database.h"

#include <algorithm>

namespace bank {

QString quotedName(const QString &name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

BankError readError(Database &db)
{
    return db.lastErrorIsDamage()
               ? damagedBank(db.path(), db.lastError())
               : BankError(QStringLiteral("读取题库出错\n%1").arg(db.lastError()));
}

namespace {

[[noreturn]] void throwReadError(Database &db)
{
    throw readError(db);
}

// A whole index whose first column is the filter's, if the table has one.
QString filterIndex(Database &db, const RowFilter &filter)
{
    Statement index(db, QStringLiteral("SELECT l.name FROM pragma_index_list(?1) AS l, "
                                       "pragma_index_info(l.name) AS i "
                                       "WHERE l.partial = 0 AND i.seqno = 0 AND i.name = ?2"));
    index.bindText(1, filter.table);
    index.bindText(2, filter.column);
    if (index.step())
        return index.textValue(0);
    if (index.hasError())
        throwReadError(db);
    return {};
}

BankError damagedIndex(Database &db, const QString &index, qint64 rowid)
{
    return damagedBank(db.path(),
                       QStringLiteral("索引 %1 与表中第 %2 行不符").arg(index).arg(rowid));
}

BankError miscountedIndex(Database &db, const QString &index)
{
    return damagedBank(db.path(), QStringLiteral("索引 %1 与表中的行数不符").arg(index));
}

// The rows of one side of the filter as the index files them, each checked
// in the table by the same statement: a row the index files under a value the
// table does not hold, or a row the table lacks, is damage.
std::vector<qint64> listThroughIndex(Database &db, const RowFilter &filter,
                                     const QString &indexName, bool matching)
{
    const QString table = quotedName(filter.table);
    const QString column = quotedName(filter.column);
    const auto range = [&](const QString &condition) {
        return QStringLiteral("SELECT rowid AS id FROM %1 INDEXED BY %2 WHERE %3 %4")
            .arg(table, quotedName(indexName), column, condition);
    };
    const QString side = matching
                             ? range(QStringLiteral("= ?1"))
                             : range(QStringLiteral("< ?1")) + QStringLiteral(" UNION ALL ") +
                                   range(QStringLiteral("> ?1")) + QStringLiteral(" UNION ALL ") +
                                   range(QStringLiteral("IS NULL"));
    Statement list(db,
                   QStringLiteral("SELECT s.id, t.rowid IS NOT NULL AND ((t.%1 = ?1) IS 1) = ?2 "
                                  "FROM (%2) AS s LEFT JOIN %3 AS t NOT INDEXED "
                                  "ON t.rowid = s.id")
                       .arg(column, side, table));
    list.bindInt64(1, filter.value);
    list.bindInt64(2, matching ? 1 : 0);
    std::vector<qint64> ids;
    while (list.step()) {
        const qint64 rowid = list.int64Value(0);
        if (list.int64Value(1) == 0)
            throw damagedIndex(db, indexName, rowid);
        ids.push_back(rowid);
    }
    if (list.hasError() || !list.isValid())
        throwReadError(db);
    std::sort(ids.begin(), ids.end());
    const auto twice = std::adjacent_find(ids.begin(), ids.end());
    if (twice != ids.end())
        throw damagedIndex(db, indexName, *twice);
    return ids;
}

// For a filter on a table of rows 1..span: the rows that match, or those that
// do not, whichever an index says are fewer; a million rows of which all but a
// hundred match are then a list of a hundred. The index is counted in growing
// steps, so the cost follows the smaller side. A side found in the first step
// is listed through the index, its rows checked in the table one by one:
// cheaper than a pass over a large table, which reads every row. The rows of
// the other side are then the index's word until they are read (see
// RowListing::rowFailsFilter()). A longer side is read from the table itself,
// and a count of it that the index contradicts means the index is damaged.
std::optional<RowSet> listTheSmallerSide(Database &db, const RowFilter &filter, qint64 span,
                                         QString *trustedIndex)
{
    const QString indexName = filterIndex(db, filter);
    if (indexName.isEmpty())
        return std::nullopt;
    const QString table = quotedName(filter.table);
    const QString column = quotedName(filter.column);
    const QString from = QStringLiteral("SELECT 1 FROM %1 INDEXED BY %2 WHERE %3 ")
                             .arg(table, quotedName(indexName), column);
    const auto bounded = [&from](const QString &condition) -> QString {
        return QStringLiteral("(SELECT count(*) FROM (") + from + condition +
               QStringLiteral(" LIMIT ?2))");
    };
    Statement matching(db, QStringLiteral("SELECT ") + bounded(QStringLiteral("= ?1")));
    Statement others(db, QStringLiteral("SELECT ") + bounded(QStringLiteral("< ?1")) +
                             QStringLiteral(" + ") + bounded(QStringLiteral("> ?1")) +
                             QStringLiteral(" + ") + bounded(QStringLiteral("IS NULL")));
    const auto count = [&db, &filter](Statement &statement, qint64 limit) {
        statement.reset();
        statement.bindInt64(1, filter.value);
        statement.bindInt64(2, limit);
        if (!statement.step())
            throwReadError(db);
        const qint64 counted = statement.int64Value(0);
        statement.reset();
        return counted;
    };
    constexpr qint64 kFirstStep = 1024;
    bool listMatching = true;
    qint64 indexed = 0;
    for (qint64 limit = kFirstStep;; limit *= 8) {
        indexed = count(matching, limit);
        if (indexed < limit)
            break;
        indexed = count(others, limit);
        if (indexed < limit) {
            listMatching = false;
            break;
        }
    }

    std::vector<qint64> ids;
    if (indexed < kFirstStep) {
        ids = listThroughIndex(db, filter, indexName, listMatching);
        *trustedIndex = indexName;
        // The rows the index files on the other side are never drawn when the
        // short side is the matching one: a matching row filed there would be
        // lost without a word, so the table counts its matching rows itself.
        if (listMatching) {
            Statement counted(db, QStringLiteral("SELECT count(*) FROM %1 NOT INDEXED "
                                                 "WHERE %2 = ?1")
                                      .arg(table, column));
            counted.bindInt64(1, filter.value);
            if (!counted.step())
                throwReadError(db);
            if (counted.int64Value(0) != qint64(ids.size()))
                throw miscountedIndex(db, indexName);
        }
    } else {
        Statement list(db, QStringLiteral("SELECT rowid FROM %1 NOT INDEXED WHERE %2 %3 ?1 "
                                          "ORDER BY rowid")
                               .arg(table, column,
                                    listMatching ? QStringLiteral("=") : QStringLiteral("IS NOT")));
        list.bindInt64(1, filter.value);
        ids.reserve(size_t(indexed));
        while (list.step())
            ids.push_back(list.int64Value(0));
        if (list.hasError() || !list.isValid())
            throwReadError(db);
        if (qint64(ids.size()) != indexed)
            throw miscountedIndex(db, indexName);
    }
    return listMatching ? RowSet::listed(std::move(ids)) : RowSet::excluding(span, std::move(ids));
}

// `trustedIndex` receives the index whose word the list takes for rows it did not check.
RowSet readRows(Database &db, const RowFilter &filter, QString *trustedIndex)
{
    const QString table = quotedName(filter.table);
    const auto scalar = [&db](const QString &sql) {
        Statement statement(db, sql);
        if (!statement.step())
            throwReadError(db);
        return statement.int64Value(0);
    };
    // Banks are written with row ids 1..N, so usually no full row list is needed.
    // Counted through the smallest index for speed: if that index has lost rows, the
    // count misses max(rowid) and the rows are listed from the table instead.
    const qint64 count = scalar(QStringLiteral("SELECT count(*) FROM %1").arg(table));
    const bool dense =
        count == 0 || (scalar(QStringLiteral("SELECT min(rowid) FROM %1").arg(table)) == 1 &&
                       scalar(QStringLiteral("SELECT max(rowid) FROM %1").arg(table)) == count);
    const bool filtered = !filter.column.isEmpty();
    if (dense && !filtered)
        return RowSet::dense(count);
    if (dense) {
        if (auto rows = listTheSmallerSide(db, filter, count, trustedIndex))
            return *rows;
    }

    const QString where =
        filtered ? QStringLiteral(" WHERE %1 = ?1").arg(quotedName(filter.column)) : QString();
    // The table is walked in row id order, so the list comes out sorted.
    Statement list(
        db, QStringLiteral("SELECT rowid FROM %1 NOT INDEXED%2 ORDER BY rowid").arg(table, where));
    if (filtered)
        list.bindInt64(1, filter.value);
    std::vector<qint64> ids;
    while (list.step())
        ids.push_back(list.int64Value(0));
    if (list.hasError() || !list.isValid())
        throwReadError(db);
    return RowSet::listed(std::move(ids));
}

bool sameFilter(const RowFilter &a, const RowFilter &b)
{
    return a.table == b.table && a.column == b.column && a.value == b.value;
}

} // namespace

RowListing::BankStamp RowListing::bankStamp(Database &db)
{
    Statement version(db, QStringLiteral("PRAGMA data_version"));
    if (!version.step())
        throwReadError(db);
    return {version.int64Value(0), db.totalChanges(), db.rollbacks()};
}

RowSet RowListing::rows(Database &db, const RowFilter &filter)
{
    const BankStamp now = bankStamp(db);
    if (!canFollow(filter, now)) {
        QString trustedIndex;
        RowSet read = readRows(db, filter, &trustedIndex);
        forget();
        m_kept = Kept{filter, now, std::move(read), trustedIndex};
    } else if (now.changes != m_kept->stamp.changes) {
        takeInOwnWrites();
        m_kept->stamp = now;
    }
    return m_kept->rows;
}

// Whether the kept list is the bank as it is now, once the writes noted since are taken in.
bool RowListing::canFollow(const RowFilter &filter, const BankStamp &now) const
{
    if (!m_kept || !sameFilter(m_kept->filter, filter) ||
        m_kept->stamp.dataVersion != now.dataVersion || m_kept->stamp.rollbacks != now.rollbacks)
        return false;
    return now.changes == m_kept->stamp.changes ||
           (m_followable && now.changes == m_kept->stamp.changes + m_ownChanges);
}

void RowListing::rowFailsFilter(Database &db, const RowFilter &filter, qint64 rowid)
{
    if (!m_kept || m_kept->trustedIndex.isEmpty() || !sameFilter(m_kept->filter, filter))
        return;
    const BankStamp now = bankStamp(db);
    const BankStamp &kept = m_kept->stamp;
    if (now.dataVersion == kept.dataVersion && now.changes == kept.changes &&
        now.rollbacks == kept.rollbacks)
        throw damagedIndex(db, m_kept->trustedIndex, rowid);
}

void RowListing::noteWrite(const QString &table, qint64 rowid, const QVariantHash &values)
{
    if (!m_kept)
        return;
    ++m_ownChanges;
    const RowFilter &filter = m_kept->filter;
    if (filter.column.isEmpty() || table.compare(filter.table, Qt::CaseInsensitive) != 0)
        return;
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (it.key().compare(filter.column, Qt::CaseInsensitive) != 0)
            continue;
        // Only what SQLite is sure to store as the same integer (or NULL) is followed.
        switch (it.value().typeId()) {
        case QMetaType::UnknownType:
        case QMetaType::Nullptr:
            m_matchesNow[rowid] = false;
            break;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::Bool:
            m_matchesNow[rowid] = it.value().toLongLong() == filter.value;
            break;
        default:
            m_followable = false;
        }
    }
}

// Takes the rows written since the list was read into it, in one pass.
void RowListing::takeInOwnWrites()
{
    std::vector<qint64> matching;
    std::vector<qint64> others;
    for (const auto &[rowid, matches] : m_matchesNow)
        (matches ? matching : others).push_back(rowid);
    m_kept->rows = m_kept->rows.with(matching, others);
    m_matchesNow.clear();
    m_ownChanges = 0;
}

void RowListing::forget()
{
    m_kept.reset();
    m_ownChanges = 0;
    m_followable = true;
    m_matchesNow.clear();
}

} // namespace bank

#include "bank/query.h"

#include "bank/bankerror.h"
#include "bank/bankfile.h"
#include "bank/connection.h"
#include "bank/database.h"

#include <QRegularExpression>

#include <algorithm>
#include <limits>

namespace bank {

namespace {

QString quoteIdentifier(const QString &name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString readError(Database &db)
{
    return db.lastErrorIsDamage() ? damagedBankMessage(db.path(), db.lastError())
                                  : QStringLiteral("读取题库出错：%1").arg(db.lastError());
}

} // namespace

Query::Query(QObject *parent) : QObject(parent) {}

Query::~Query()
{
    close();
}

void Query::setConnection(Connection *connection)
{
    if (m_connection == connection)
        return;
    close();
    m_listing = {};
    if (m_connection)
        disconnect(m_connection, nullptr, this, nullptr);
    m_connection = connection;
    if (m_connection) {
        connect(m_connection, &Connection::aboutToClose, this, [this] {
            close();
            m_listing = {};
        });
    }
}

Connection *Query::connection() const
{
    return m_connection;
}

void Query::throwReadError(Database &db) const
{
    throw BankError(readError(db));
}

QString Query::quotedTable() const
{
    return quoteIdentifier(m_table);
}

void Query::open()
{
    close();
    m_openError.clear();
    auto fail = [this](const QString &reason) {
        close();
        m_openError = reason;
        throwClosed();
    };

    if (!m_connection)
        fail(QStringLiteral("查询没有连到题库"));
    if (!m_connection->isConnected())
        fail(m_connection->failureReason());

    static const QRegularExpression statement(
        QStringLiteral("^\\s*select\\s+\\*\\s+from\\s+([A-Za-z_][A-Za-z0-9_]*)"
                       "(?:\\s+where\\s+([A-Za-z_][A-Za-z0-9_]*)\\s*=\\s*([+-]?[0-9]{1,18}))?"
                       "\\s*;?\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const QString text = m_sql.join(QLatin1Char(' '));
    const QRegularExpressionMatch match = statement.match(text);
    if (!match.hasMatch())
        fail(QStringLiteral("不支持的查询语句“%1”").arg(text.trimmed()));

    // The bank's own bookkeeping tables are not questions.
    const QString table = match.captured(1);
    if (table.startsWith(QStringLiteral("sqlite_"), Qt::CaseInsensitive) ||
        table.startsWith(QStringLiteral("kelvaro_"), Qt::CaseInsensitive))
        fail(QStringLiteral("题库中没有表 %1").arg(table));

    Database &db = m_connection->database();
    QStringList columns;
    {
        Statement info(db, QStringLiteral("SELECT name FROM pragma_table_info(?1)"));
        info.bindText(1, table);
        while (info.step())
            columns.append(info.textValue(0));
        if (info.hasError() || !info.isValid())
            fail(readError(db));
    }
    if (columns.isEmpty())
        fail(QStringLiteral("题库中没有表 %1").arg(table));
    m_table = table;
    m_columns = columns;

    if (match.hasCaptured(2)) {
        const QString column = match.captured(2);
        const int index = columnIndex(column);
        if (index < 0)
            fail(QStringLiteral("表 %1 中没有字段 %2").arg(table, column));
        m_filterColumn = index;
        m_filterValue = match.captured(3).toLongLong();
    }

    const QString where =
        m_filterColumn
            ? QStringLiteral(" AND %1 = ?2").arg(quoteIdentifier(m_columns.at(*m_filterColumn)))
            : QString();
    m_seek = std::make_unique<Statement>(
        db, QStringLiteral("SELECT rowid FROM %1 WHERE rowid > ?1%2 ORDER BY rowid LIMIT 1")
                .arg(quotedTable(), where));
    m_fetch = std::make_unique<Statement>(
        db, QStringLiteral("SELECT * FROM %1 WHERE rowid = ?1").arg(quotedTable()));
    if (!m_seek->isValid() || !m_fetch->isValid())
        fail(QStringLiteral("表 %1 的格式不对（%2）").arg(table, db.lastError()));

    m_active = true;
    try {
        m_current = seekAfter(std::numeric_limits<qint64>::min());
    } catch (const BankError &error) {
        fail(error.message());
    }
}

void Query::close()
{
    m_active = false;
    m_seek.reset();
    m_fetch.reset();
    m_table.clear();
    m_columns.clear();
    m_filterColumn.reset();
    m_current = kNoRow;
    m_editedRows.clear();
    m_sized = false;
    m_rows = {};
    m_rowLoaded = false;
    m_values.clear();
    m_editing = false;
    m_pending.clear();
}

void Query::throwClosed() const
{
    QString reason = m_openError;
    if (reason.isEmpty())
        reason = m_connection && !m_connection->isConnected() ? m_connection->failureReason()
                                                              : QStringLiteral("查询没有打开");
    throw BankError(QStringLiteral("题库没有打开：%1").arg(reason));
}

void Query::checkActive() const
{
    if (!m_active)
        throwClosed();
}

void Query::checkCurrentRow() const
{
    checkActive();
    if (m_current == kNoRow)
        throw BankError(QStringLiteral("没有当前记录：已经到了查询结果的末尾"));
}

qint64 Query::seekAfter(qint64 rowid)
{
    if (m_sized)
        return m_rows.after(rowid);

    Database &db = m_connection->database();
    m_seek->reset();
    m_seek->bindInt64(1, rowid);
    if (m_filterColumn)
        m_seek->bindInt64(2, m_filterValue);
    qint64 live = kNoRow;
    if (m_seek->step())
        live = m_seek->int64Value(0);
    else if (m_seek->hasError())
        throw BankError(readError(db));
    m_seek->reset();

    // A row edited since the query was opened is still one of its rows even if
    // it no longer matches.
    const auto edited = m_editedRows.upper_bound(rowid);
    if (edited != m_editedRows.end() && (live == kNoRow || *edited < live))
        return *edited;
    return live;
}

QString Query::listingKey() const
{
    return m_filterColumn ? QStringLiteral("%1\n%2\n%3")
                                .arg(m_table, m_columns.at(*m_filterColumn))
                                .arg(m_filterValue)
                          : m_table;
}

// Changes whenever anyone writes to the bank: other connections bump its data
// version, this one its count of changed rows.
qint64 Query::bankStamp()
{
    Database &db = m_connection->database();
    Statement version(db, QStringLiteral("PRAGMA data_version"));
    if (!version.step())
        throwReadError(db);
    return version.int64Value(0);
}

qint64 Query::RowSet::count() const
{
    switch (shape) {
    case Shape::Dense:
        return span;
    case Shape::Listed:
        return qint64(ids->size());
    case Shape::Excluding:
        return span - qint64(ids->size());
    }
    return 0;
}

qint64 Query::RowSet::after(qint64 rowid) const
{
    if (shape == Shape::Listed) {
        const auto it = std::upper_bound(ids->begin(), ids->end(), rowid);
        return it == ids->end() ? kNoRow : *it;
    }
    qint64 next = rowid < 1 ? 1 : rowid + 1;
    if (shape == Shape::Excluding) {
        for (auto it = std::lower_bound(ids->begin(), ids->end(), next);
             it != ids->end() && *it == next; ++it)
            ++next;
    }
    return next <= span ? next : kNoRow;
}

qint64 Query::RowSet::numberOf(qint64 rowid) const
{
    switch (shape) {
    case Shape::Dense:
        return rowid;
    case Shape::Listed:
        return std::lower_bound(ids->begin(), ids->end(), rowid) - ids->begin() + 1;
    case Shape::Excluding:
        return rowid - (std::lower_bound(ids->begin(), ids->end(), rowid) - ids->begin());
    }
    return 0;
}

qint64 Query::RowSet::rowAt(qint64 recordNumber) const
{
    switch (shape) {
    case Shape::Dense:
        return recordNumber;
    case Shape::Listed:
        return (*ids)[size_t(recordNumber - 1)];
    case Shape::Excluding: {
        // Below the i-th row left out (from 0) lie ids[i] - 1 - i rows of the set,
        // so the n-th row of the set is n plus the number of those with ids[i] - i <= n.
        qint64 low = 0;
        qint64 high = qint64(ids->size());
        while (low < high) {
            const qint64 middle = low + (high - low) / 2;
            if ((*ids)[size_t(middle)] - middle <= recordNumber)
                low = middle + 1;
            else
                high = middle;
        }
        return recordNumber + low;
    }
    }
    return kNoRow;
}

// A whole index whose first column is the condition's, if the table has one.
QString Query::filterIndex(Database &db)
{
    Statement index(db, QStringLiteral("SELECT l.name FROM pragma_index_list(?1) AS l, "
                                       "pragma_index_info(l.name) AS i "
                                       "WHERE l.partial = 0 AND i.seqno = 0 AND i.name = ?2"));
    index.bindText(1, m_table);
    index.bindText(2, m_columns.at(*m_filterColumn));
    if (index.step())
        return index.textValue(0);
    if (index.hasError())
        throwReadError(db);
    return {};
}

// For a condition on a table of rows 1..span: the rows that match, or those
// that do not, whichever an index says are fewer, read from the table. A
// million rows of which all but a hundred are practised are then a list of a
// hundred. The index is counted in growing steps, so the cost follows the
// smaller side; a count that the table then contradicts means the index is damaged.
std::optional<Query::RowSet> Query::listTheSmallerSide(Database &db, qint64 span)
{
    const QString indexName = filterIndex(db);
    if (indexName.isEmpty())
        return std::nullopt;
    const QString from = QStringLiteral("SELECT 1 FROM %1 INDEXED BY %2 WHERE %3 ")
                             .arg(quotedTable(), quoteIdentifier(indexName),
                                  quoteIdentifier(m_columns.at(*m_filterColumn)));
    const auto bounded = [&from](const QString &condition) -> QString {
        return QStringLiteral("(SELECT count(*) FROM (") + from + condition +
               QStringLiteral(" LIMIT ?2))");
    };
    Statement matching(db, QStringLiteral("SELECT ") + bounded(QStringLiteral("= ?1")));
    Statement others(db, QStringLiteral("SELECT ") + bounded(QStringLiteral("< ?1")) +
                             QStringLiteral(" + ") + bounded(QStringLiteral("> ?1")) +
                             QStringLiteral(" + ") + bounded(QStringLiteral("IS NULL")));
    const auto count = [&db, this](Statement &statement, qint64 limit) {
        statement.reset();
        statement.bindInt64(1, m_filterValue);
        statement.bindInt64(2, limit);
        if (!statement.step())
            throwReadError(db);
        const qint64 counted = statement.int64Value(0);
        statement.reset();
        return counted;
    };
    bool listMatching = true;
    qint64 indexed = 0;
    for (qint64 limit = 1024;; limit *= 8) {
        indexed = count(matching, limit);
        if (indexed < limit)
            break;
        indexed = count(others, limit);
        if (indexed < limit) {
            listMatching = false;
            break;
        }
    }

    const QString column = quoteIdentifier(m_columns.at(*m_filterColumn));
    Statement list(db, QStringLiteral("SELECT rowid FROM %1 NOT INDEXED WHERE %2 %3 ?1 "
                                      "ORDER BY rowid")
                           .arg(quotedTable(), column,
                                listMatching ? QStringLiteral("=") : QStringLiteral("IS NOT")));
    list.bindInt64(1, m_filterValue);
    auto ids = std::make_shared<std::vector<qint64>>();
    ids->reserve(size_t(indexed));
    while (list.step())
        ids->push_back(list.int64Value(0));
    if (list.hasError() || !list.isValid())
        throwReadError(db);
    if (qint64(ids->size()) != indexed)
        throw BankError(damagedBankMessage(
            db.path(), QStringLiteral("索引 %1 与表中的行数不符").arg(indexName)));
    return RowSet{listMatching ? Shape::Listed : Shape::Excluding, span, std::move(ids)};
}

Query::RowSet Query::listRows(Database &db)
{
    const auto scalar = [this, &db](const QString &sql) {
        Statement statement(db, sql);
        if (!statement.step())
            throwReadError(db);
        return statement.int64Value(0);
    };
    // Banks are written with row ids 1..N, so usually no full row list is needed.
    // Counted through the smallest index for speed: if that index has lost rows, the
    // count misses max(rowid) and the rows are listed from the table instead.
    const qint64 count = scalar(QStringLiteral("SELECT count(*) FROM %1").arg(quotedTable()));
    const bool dense =
        count == 0 ||
        (scalar(QStringLiteral("SELECT min(rowid) FROM %1").arg(quotedTable())) == 1 &&
         scalar(QStringLiteral("SELECT max(rowid) FROM %1").arg(quotedTable())) == count);
    if (dense && !m_filterColumn)
        return RowSet{Shape::Dense, count, {}};
    if (dense) {
        if (auto rows = listTheSmallerSide(db, count))
            return *rows;
    }

    const QString where =
        m_filterColumn
            ? QStringLiteral(" WHERE %1 = ?1").arg(quoteIdentifier(m_columns.at(*m_filterColumn)))
            : QString();
    // The table is walked in row id order, so the list comes out sorted.
    Statement list(db, QStringLiteral("SELECT rowid FROM %1 NOT INDEXED%2 ORDER BY rowid")
                           .arg(quotedTable(), where));
    if (m_filterColumn)
        list.bindInt64(1, m_filterValue);
    auto ids = std::make_shared<std::vector<qint64>>();
    while (list.step())
        ids->push_back(list.int64Value(0));
    if (list.hasError() || !list.isValid())
        throwReadError(db);
    return RowSet{Shape::Listed, 0, std::move(ids)};
}

void Query::ensureSized()
{
    checkActive();
    if (m_sized)
        return;
    Database &db = m_connection->database();
    const QString key = listingKey();
    const qint64 dataVersion = bankStamp();
    const qint64 totalChanges = db.totalChanges();
    const bool sameBank = m_listing.key == key && m_listing.dataVersion == dataVersion &&
                          m_listing.rollbacks == db.rollbacks();
    if (sameBank && m_listing.patchable &&
        totalChanges == m_listing.totalChanges + m_listing.ownChanges) {
        bringListingUpToDate();
        m_listing.totalChanges = totalChanges;
    } else if (!sameBank || m_listing.totalChanges != totalChanges) {
        Listing listing;
        listing.key = key;
        listing.dataVersion = dataVersion;
        listing.totalChanges = totalChanges;
        listing.rollbacks = db.rollbacks();
        listing.rows = listRows(db);
        listing.table = m_table;
        if (m_filterColumn) {
            listing.column = m_columns.at(*m_filterColumn);
            listing.value = m_filterValue;
        }
        m_listing = std::move(listing);
    }

    // Rows edited since the open stay in the snapshot even if they stopped
    // matching; rows edited through an unconditioned query are rows of the table anyway.
    m_rows = m_listing.rows;
    if (!m_editedRows.empty() && m_rows.shape != Shape::Dense) {
        auto merged = std::make_shared<std::vector<qint64>>();
        merged->reserve(m_rows.ids->size() + m_editedRows.size());
        if (m_rows.shape == Shape::Listed)
            std::set_union(m_rows.ids->begin(), m_rows.ids->end(), m_editedRows.begin(),
                           m_editedRows.end(), std::back_inserter(*merged));
        else
            std::set_difference(m_rows.ids->begin(), m_rows.ids->end(), m_editedRows.begin(),
                                m_editedRows.end(), std::back_inserter(*merged));
        m_rows.ids = std::move(merged);
    }
    m_sized = true;
}

void Query::noteOwnWrite(qint64 rowid, const QHash<int, QVariant> &values)
{
    if (m_listing.key.isEmpty())
        return;
    ++m_listing.ownChanges;
    if (m_listing.column.isEmpty() || m_table.compare(m_listing.table, Qt::CaseInsensitive) != 0)
        return;
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (m_columns.at(it.key()).compare(m_listing.column, Qt::CaseInsensitive) != 0)
            continue;
        // Only what SQLite is sure to store as the same integer (or NULL) is followed.
        switch (it.value().typeId()) {
        case QMetaType::UnknownType:
        case QMetaType::Nullptr:
            m_listing.matchesNow[rowid] = false;
            break;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::Bool:
            m_listing.matchesNow[rowid] = it.value().toLongLong() == m_listing.value;
            break;
        default:
            m_listing.patchable = false;
        }
    }
}

// Takes the rows this query wrote since the list was read into it, in one pass.
void Query::bringListingUpToDate()
{
    RowSet &rows = m_listing.rows;
    std::map<qint64, bool> changes = std::exchange(m_listing.matchesNow, {});
    m_listing.ownChanges = 0;
    if (changes.empty() || rows.shape == Shape::Dense)
        return;
    // A listed row is one that matches; a row left out of 1..span is one that does not.
    const bool listedMatch = rows.shape == Shape::Listed;
    std::vector<qint64> enter;
    std::vector<qint64> leave;
    for (const auto &[rowid, matches] : changes)
        (matches == listedMatch ? enter : leave).push_back(rowid);
    std::vector<qint64> kept;
    kept.reserve(rows.ids->size());
    std::set_difference(rows.ids->begin(), rows.ids->end(), leave.begin(), leave.end(),
                        std::back_inserter(kept));
    auto ids = std::make_shared<std::vector<qint64>>();
    ids->reserve(kept.size() + enter.size());
    std::set_union(kept.begin(), kept.end(), enter.begin(), enter.end(), std::back_inserter(*ids));
    rows.ids = std::move(ids);
}

qint64 Query::unindexedMatchCount()
{
    checkActive();
    Database &db = m_connection->database();
    const QString where =
        m_filterColumn
            ? QStringLiteral(" WHERE %1 = ?1").arg(quoteIdentifier(m_columns.at(*m_filterColumn)))
            : QString();
    Statement count(
        db, QStringLiteral("SELECT count(*) FROM %1 NOT INDEXED%2").arg(quotedTable(), where));
    if (m_filterColumn)
        count.bindInt64(1, m_filterValue);
    if (!count.step())
        throwReadError(db);
    return count.int64Value(0);
}

void Query::postIfEditing()
{
    if (m_editing)
        post();
}

void Query::first()
{
    checkActive();
    postIfEditing();
    m_current = seekAfter(std::numeric_limits<qint64>::min());
    m_rowLoaded = false;
}

void Query::next()
{
    checkActive();
    postIfEditing();
    if (m_current == kNoRow)
        return;
    m_current = seekAfter(m_current);
    m_rowLoaded = false;
}

bool Query::atEnd() const
{
    checkActive();
    return m_current == kNoRow;
}

int Query::recordCount()
{
    ensureSized();
    return int(std::min<qint64>(m_rows.count(), std::numeric_limits<int>::max()));
}

int Query::recordNumber()
{
    ensureSized();
    if (m_current == kNoRow)
        return 0;
    return int(m_rows.numberOf(m_current));
}

void Query::setRecordNumber(int recordNumber)
{
    ensureSized();
    postIfEditing();
    if (recordNumber < 1 || recordNumber > m_rows.count())
        throw BankError(QStringLiteral("记录号 %1 超出范围（共 %2 条记录）")
                            .arg(recordNumber)
                            .arg(m_rows.count()));
    m_current = m_rows.rowAt(recordNumber);
    m_rowLoaded = false;
}

int Query::columnIndex(const QString &field) const
{
    for (int i = 0; i < m_columns.size(); ++i) {
        if (m_columns.at(i).compare(field, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void Query::loadCurrentRow()
{
    if (m_rowLoaded)
        return;
    Database &db = m_connection->database();
    m_fetch->reset();
    m_fetch->bindInt64(1, m_current);
    if (!m_fetch->step()) {
        const bool failed = m_fetch->hasError();
        m_fetch->reset();
        throw BankError(failed ? readError(db) : QStringLiteral("当前记录已经不在题库里了"));
    }
    m_values.clear();
    for (int i = 0; i < m_fetch->columnCount(); ++i) {
        if (m_fetch->isNull(i))
            m_values.append(QVariant());
        else if (m_fetch->isInteger(i))
            m_values.append(QVariant(m_fetch->int64Value(i)));
        else if (m_fetch->isFloat(i))
            m_values.append(QVariant(m_fetch->doubleValue(i)));
        else
            m_values.append(QVariant(m_fetch->textValue(i)));
    }
    m_fetch->reset();
    m_rowLoaded = true;
}

QVariant Query::fieldValue(const QString &field)
{
    checkCurrentRow();
    const int index = columnIndex(field);
    if (index < 0)
        throw BankError(QStringLiteral("表 %1 中没有字段 %2").arg(m_table, field));
    if (m_editing && m_pending.contains(index))
        return m_pending.value(index);
    loadCurrentRow();
    return m_values.value(index);
}

int Query::fieldAsInteger(const QString &field)
{
    const QVariant value = fieldValue(field);
    if (value.isNull())
        return 0;
    qint64 number = 0;
    switch (value.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
        number = value.toLongLong();
        break;
    case QMetaType::Double:
        number = qRound64(value.toDouble());
        break;
    default: {
        bool ok = false;
        number = value.toString().trimmed().toLongLong(&ok);
        if (!ok)
            throw BankError(
                QStringLiteral("字段 %1 的值“%2”不是整数").arg(field, value.toString()));
    }
    }
    if (number < std::numeric_limits<qint32>::min() || number > std::numeric_limits<qint32>::max())
        throw BankError(QStringLiteral("字段 %1 的值 %2 超出整数范围").arg(field).arg(number));
    return int(number);
}

QString Query::fieldAsString(const QString &field)
{
    const QVariant value = fieldValue(field);
    if (value.typeId() == QMetaType::Double)
        return QString::number(value.toDouble(), 'g', 15);
    return value.toString();
}

void Query::edit()
{
    checkCurrentRow();
    m_editing = true;
    m_pending.clear();
}

void Query::setFieldValue(const QString &field, const QVariant &value)
{
    checkCurrentRow();
    if (!m_editing)
        throw BankError(QStringLiteral("记录不在编辑状态，不能修改字段 %1").arg(field));
    const int index = columnIndex(field);
    if (index < 0)
        throw BankError(QStringLiteral("表 %1 中没有字段 %2").arg(m_table, field));
    m_pending.insert(index, value);
}

bool Query::post()
{
    checkActive();
    if (!m_editing)
        return false;
    const QHash<int, QVariant> pending = m_pending;
    m_editing = false;
    m_pending.clear();
    if (pending.isEmpty())
        return false;
    checkCurrentRow();

    QStringList assignments;
    QList<int> order = pending.keys();
    std::sort(order.begin(), order.end());
    for (int i = 0; i < order.size(); ++i)
        assignments.append(
            QStringLiteral("%1 = ?%2").arg(quoteIdentifier(m_columns.at(order.at(i)))).arg(i + 2));
    // A row not yet written through this query must still meet its condition: another
    // writer may have taken it since it was read.
    const int guardParameter = int(order.size()) + 2;
    const bool guarded = m_filterColumn && !m_editedRows.count(m_current);
    const QString guard = guarded ? QStringLiteral(" AND %1 = ?%2")
                                        .arg(quoteIdentifier(m_columns.at(*m_filterColumn)))
                                        .arg(guardParameter)
                                  : QString();
    Database &db = m_connection->database();
    Statement update(db, QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?1%3")
                             .arg(quotedTable(), assignments.join(QStringLiteral(", ")), guard));
    if (!update.isValid())
        throw BankError(QStringLiteral("写入题库失败：%1").arg(db.lastError()));
    update.bindInt64(1, m_current);
    for (int i = 0; i < order.size(); ++i) {
        const QVariant &value = pending.value(order.at(i));
        const int parameter = i + 2;
        switch (value.typeId()) {
        case QMetaType::UnknownType:
        case QMetaType::Nullptr:
            update.bindNull(parameter);
            break;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::Bool:
            update.bindInt64(parameter, value.toLongLong());
            break;
        case QMetaType::QByteArray:
            update.bindBlob(parameter, value.toByteArray());
            break;
        default:
            update.bindText(parameter, value.toString());
        }
    }
    if (guarded)
        update.bindInt64(guardParameter, m_filterValue);
    update.step();
    if (update.hasError())
        throw BankError(db.lastErrorIsDamage()
                            ? damagedBankMessage(db.path(), db.lastError())
                            : QStringLiteral("写入题库失败：%1").arg(db.lastError()));
    m_rowLoaded = false;
    if (db.changes() == 0)
        return false;
    m_editedRows.insert(m_current);
    noteOwnWrite(m_current, pending);
    return true;
}

} // namespace bank

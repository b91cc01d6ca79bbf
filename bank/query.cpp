#include "bank/query.h"

#include "bank/bankerror.h"
#include "bank/bankfile.h"
#include "bank/connection.h"
#include "bank/database.h"

#include <QRegularExpression>

#include <algorithm>
#include <limits>
#include <vector>

namespace bank {

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
    m_listing.forget();
    if (m_connection)
        disconnect(m_connection, nullptr, this, nullptr);
    m_connection = connection;
    if (m_connection) {
        connect(m_connection, &Connection::aboutToClose, this, [this] {
            close();
            m_listing.forget();
        });
    }
}

Connection *Query::connection() const
{
    return m_connection;
}

QString Query::quotedTable() const
{
    return quotedName(m_table);
}

void Query::open()
{
    close();
    m_openError = BankError(QString());
    auto failWith = [this](const BankError &error) {
        close();
        m_openError = error;
        throwClosed();
    };
    auto fail = [&](const QString &reason) { failWith(BankError(reason)); };

    if (!m_connection)
        fail(QStringLiteral("查询没有连到题库"));
    if (!m_connection->isConnected())
        failWith(m_connection->failure());

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
            failWith(readError(db));
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
            ? QStringLiteral(" AND %1 = ?2").arg(quotedName(m_columns.at(*m_filterColumn)))
            : QString();
    m_seek = std::make_unique<Statement>(
        db, QStringLiteral("SELECT rowid FROM %1 WHERE rowid > ?1%2 ORDER BY rowid LIMIT 1")
                .arg(quotedTable(), where));
    // With a condition, the row comes with whether it meets it now.
    const QString meets =
        m_filterColumn
            ? QStringLiteral(", (%1 = ?2) IS 1").arg(quotedName(m_columns.at(*m_filterColumn)))
            : QString();
    m_fetch = std::make_unique<Statement>(
        db, QStringLiteral("SELECT *%2 FROM %1 WHERE rowid = ?1").arg(quotedTable(), meets));
    if (!m_seek->isValid() || !m_fetch->isValid())
        fail(QStringLiteral("表 %1 的格式不对（%2）").arg(table, db.lastError()));

    m_active = true;
    try {
        m_current = seekAfter(std::numeric_limits<qint64>::min());
    } catch (const BankError &error) {
        failWith(error);
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
    // A damaged file is open all the same: it is the file that needs help.
    if (m_openError.problem() == Problem::Damaged)
        throw m_openError;
    BankError reason = m_openError;
    if (reason.message().isEmpty())
        reason = m_connection && !m_connection->isConnected()
                     ? m_connection->failure()
                     : BankError(QStringLiteral("查询没有打开"));
    throw BankError(QStringLiteral("题库没有打开：%1").arg(reason.message()),
                    reason.problem() == Problem::Other ? Problem::NotOpen : reason.problem(),
                    reason.path());
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
        throw readError(db);
    m_seek->reset();

    // A row edited since the query was opened is still one of its rows even if
    // it no longer matches.
    const auto edited = m_editedRows.upper_bound(rowid);
    if (edited != m_editedRows.end() && (live == kNoRow || *edited < live))
        return *edited;
    return live;
}

RowFilter Query::filter() const
{
    if (!m_filterColumn)
        return {m_table, {}, 0};
    return {m_table, m_columns.at(*m_filterColumn), m_filterValue};
}

void Query::ensureSized()
{
    checkActive();
    if (m_sized)
        return;
    // Rows edited since the open stay in the snapshot even if they stopped matching.
    const std::vector<qint64> edited(m_editedRows.begin(), m_editedRows.end());
    m_rows = m_listing.rows(m_connection->database(), filter()).with(edited, {});
    m_sized = true;
}

qint64 Query::unindexedMatchCount()
{
    checkActive();
    Database &db = m_connection->database();
    const QString where =
        m_filterColumn
            ? QStringLiteral(" WHERE %1 = ?1").arg(quotedName(m_columns.at(*m_filterColumn)))
            : QString();
    Statement count(
        db, QStringLiteral("SELECT count(*) FROM %1 NOT INDEXED%2").arg(quotedTable(), where));
    if (m_filterColumn)
        count.bindInt64(1, m_filterValue);
    if (!count.step())
        throw readError(db);
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
    if (m_filterColumn)
        m_fetch->bindInt64(2, m_filterValue);
    if (!m_fetch->step()) {
        const bool failed = m_fetch->hasError();
        m_fetch->reset();
        if (failed)
            throw readError(db);
        throw BankError(QStringLiteral("当前记录已经不在题库里了"));
    }
    m_values.clear();
    const int columns = m_fetch->columnCount() - (m_filterColumn ? 1 : 0);
    for (int i = 0; i < columns; ++i) {
        if (m_fetch->isNull(i))
            m_values.append(QVariant());
        else if (m_fetch->isInteger(i))
            m_values.append(QVariant(m_fetch->int64Value(i)));
        else if (m_fetch->isFloat(i))
            m_values.append(QVariant(m_fetch->doubleValue(i)));
        else
            m_values.append(QVariant(m_fetch->textValue(i)));
    }
    const bool stoppedMatching = m_filterColumn && m_fetch->int64Value(columns) == 0;
    m_fetch->reset();
    // A row of the counted snapshot that no longer meets the condition was either
    // written since, or placed there by an index that is wrong about it.
    if (stoppedMatching && m_sized && m_rows.contains(m_current) && !m_editedRows.count(m_current))
        m_listing.rowFailsFilter(db, filter(), m_current);
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
            QStringLiteral("%1 = ?%2").arg(quotedName(m_columns.at(order.at(i)))).arg(i + 2));
    // A row not yet written through this query must still meet its condition: another
    // writer may have taken it since it was read.
    const int guardParameter = int(order.size()) + 2;
    const bool guarded = m_filterColumn && !m_editedRows.count(m_current);
    const QString guard = guarded ? QStringLiteral(" AND %1 = ?%2")
                                        .arg(quotedName(m_columns.at(*m_filterColumn)))
                                        .arg(guardParameter)
                                  : QString();
    Database &db = m_connection->database();
    Statement update(db, QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?1%3")
                             .arg(quotedTable(), assignments.join(QStringLiteral(", ")), guard));
    if (!update.isValid())
        throw writeFailure(db);
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
        throw writeFailure(db);
    m_rowLoaded = false;
    if (db.changes() == 0)
        return false;
    m_editedRows.insert(m_current);
    QVariantHash written;
    for (auto it = pending.begin(); it != pending.end(); ++it)
        written.insert(m_columns.at(it.key()), it.value());
    m_listing.noteWrite(m_table, m_current, written);
    return true;
}

} // namespace bank

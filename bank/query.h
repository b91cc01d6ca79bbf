#pragma once

#include "bank/bankerror.h"
#include "bank/rowlisting.h"
#include "bank/rowset.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <optional>
#include <set>

namespace bank {

class Connection;
class Statement;

// The one query over the bank. Its SQL text is a list of lines, joined with
// blanks when the query is opened; the statements understood are
// "select * from TABLE" and "select * from TABLE where COLUMN=INTEGER".
//
// An open query is a snapshot: the rows that matched when it was opened, in
// store order (the order rows were added), stay its rows even when a posted
// edit makes a row stop matching. Nothing is read ahead: opening seeks only
// the first row, walking forward seeks one row at a time, and the row list is
// gathered (row ids only) the first time a count or a record number is asked
// for, so a large bank opens as fast as a small one. The row list comes from
// a RowListing, which keeps it for the next open of the same statement while
// it is still good.
//
// Every record operation throws BankError while the query is closed; the
// message says why the bank is not open.
class Query : public QObject
{
    Q_OBJECT

public:
    explicit Query(QObject *parent = nullptr);
    ~Query() override;

    void setConnection(Connection *connection);
    Connection *connection() const;

    QStringList &sql() { return m_sql; }

    // Throws BankError when the bank is not connected or the text is not a
    // statement this query understands; the query then stays closed.
    void open();
    void close();
    bool isActive() const { return m_active; }

    void first();
    void next();
    bool atEnd() const;
    int recordCount();
    // Record numbers count from 1 in store order; 0 means no current row.
    int recordNumber();
    void setRecordNumber(int recordNumber);

    // NULL reads as 0 and as an empty string.
    int fieldAsInteger(const QString &field);
    QString fieldAsString(const QString &field);

    void edit();
    void setFieldValue(const QString &field, const QVariant &value);
    // Writes the edited row to the file at once (inside a transaction: when it
    // commits). A row of a query with a condition is written only if it still
    // meets it, so two writers never both take it; false when it did not.
    bool post();

    // How many rows of the table meet the query's condition now, counted over
    // the table without any index: a damaged index cannot hide rows from it.
    qint64 unindexedMatchCount();

private:
    [[noreturn]] void throwClosed() const;
    void checkActive() const;
    void checkCurrentRow() const;
    int columnIndex(const QString &field) const;
    QVariant fieldValue(const QString &field);
    void loadCurrentRow();
    RowFilter filter() const;
    void ensureSized();
    qint64 seekAfter(qint64 rowid);
    void postIfEditing();
    QString quotedTable() const;

    QPointer<Connection> m_connection;
    QStringList m_sql;
    bool m_active = false;
    BankError m_openError{QString()};

    QString m_table;
    QStringList m_columns;
    std::optional<int> m_filterColumn;
    qint64 m_filterValue = 0;

    static constexpr qint64 kNoRow = RowSet::kNoRow;
    qint64 m_current = kNoRow;
    // Rows of the snapshot that posted edits may have taken out of the live result.
    std::set<qint64> m_editedRows;

    bool m_sized = false;
    RowSet m_rows;
    RowListing m_listing;

    bool m_rowLoaded = false;
    QVariantList m_values;
    bool m_editing = false;
    QHash<int, QVariant> m_pending;

    std::unique_ptr<Statement> m_seek;
    std::unique_ptr<Statement> m_fetch;
};

} // namespace bank

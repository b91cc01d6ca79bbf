#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVariant>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace bank {

class Connection;
class Database;
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
// for, so a large bank opens as fast as a small one. The row list is read
// from the table itself, never through an index (an index only tells which
// is shorter, the rows that match or those that do not, and a count that
// disagrees with the table's is reported as damage), and kept for the next
// open of the same statement as long as nobody has written to the bank since.
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
    void ensureSized();
    qint64 seekAfter(qint64 rowid);
    void postIfEditing();
    QString quotedTable() const;
    QString listingKey() const;
    qint64 bankStamp();
    [[noreturn]] void throwReadError(Database &db) const;

    QPointer<Connection> m_connection;
    QStringList m_sql;
    bool m_active = false;
    QString m_openError;

    QString m_table;
    QStringList m_columns;
    std::optional<int> m_filterColumn;
    qint64 m_filterValue = 0;

    static constexpr qint64 kNoRow = -1;
    qint64 m_current = kNoRow;
    // Rows of the snapshot that posted edits may have taken out of the live result.
    std::set<qint64> m_editedRows;

    // The rows of a snapshot: exactly 1..span, a list of row ids, or 1..span
    // but for a list of row ids left out. Lists are sorted.
    enum class Shape
    {
        Dense,
        Listed,
        Excluding
    };
    struct RowSet
    {
        Shape shape = Shape::Dense;
        qint64 span = 0;
        std::shared_ptr<const std::vector<qint64>> ids;

        qint64 count() const;
        qint64 after(qint64 rowid) const;    // the first row past `rowid`, or kNoRow
        qint64 numberOf(qint64 rowid) const; // 1-based place of a row of the set
        qint64 rowAt(qint64 recordNumber) const;
    };
    RowSet listRows(Database &db);
    std::optional<RowSet> listTheSmallerSide(Database &db, qint64 span);
    QString filterIndex(Database &db);

    bool m_sized = false;
    RowSet m_rows;

    // The last row list read, for reuse while the bank is unchanged. Rows
    // this query itself writes afterwards are noted, so that the list can be
    // brought up to date without reading the table again; anything else
    // written to the bank, or a rollback, sends it back to the table.
    struct Listing
    {
        QString key;
        qint64 dataVersion = -1;
        qint64 totalChanges = -1;
        quint64 rollbacks = 0;
        RowSet rows;
        QString table;
        QString column; // empty without a condition
        qint64 value = 0;
        qint64 ownChanges = 0;
        bool patchable = true;
        std::map<qint64, bool> matchesNow; // row id -> whether it meets the condition now
    };
    Listing m_listing;
    void noteOwnWrite(qint64 rowid, const QHash<int, QVariant> &values);
    void bringListingUpToDate();

    bool m_rowLoaded = false;
    QVariantList m_values;
    bool m_editing = false;
    QHash<int, QVariant> m_pending;

    std::unique_ptr<Statement> m_seek;
    std::unique_ptr<Statement> m_fetch;
};

} // namespace bank

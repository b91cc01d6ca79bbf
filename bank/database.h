#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

struct sqlite3;
struct sqlite3_stmt;

namespace bank {

// Owner of one SQLite connection. Never creates a file unless asked to.
class Database
{
public:
    enum class OpenMode
    {
        ReadOnly,
        ReadWrite,
        Create
    };

    Database() = default;
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    bool open(const QString &path, OpenMode mode);
    void close();
    bool isOpen() const { return m_db != nullptr; }
    QString path() const { return m_path; }

    // Runs one statement that takes no parameters and returns no rows.
    bool execute(const QString &sql);

    QString lastError() const { return m_lastError; }
    // SQLite's primary result code of the last call on this connection.
    int errorCode() const;
    // Whether the last error says the file's contents are damaged.
    bool lastErrorIsDamage() const;
    // Whether the last error says the file is no SQLite database at all.
    bool lastErrorIsNotADatabase() const;
    // Whether the last error was a text or blob over the length SQLite stores.
    bool lastErrorIsTooBig() const;
    // Whether another connection held the lock for longer than this one waits.
    bool lastErrorIsBusy() const;
    // Whether the last error says the file, or the folder its journal goes
    // to, may not be written.
    bool lastErrorIsNotWritable() const;
    // Rows changed by the last statement, and by every statement so far.
    qint64 changes() const;
    qint64 totalChanges() const;
    // False once a transaction has ended, also when the engine rolled it back itself.
    bool inTransaction() const;
    // How many transactions were rolled back on this connection, by a
    // ROLLBACK or by the engine itself: what was written in them is gone.
    quint64 rollbacks() const { return m_rollbacks; }
    void setLastError(const QString &error, int code = 0)
    {
        m_lastError = error;
        m_lastErrorCode = code;
    }

    // Lowers the longest text or blob, in bytes, that connections opened from
    // now on store (SQLite's own limit is 10^9): the refusal of an oversized
    // value can then be tried without a gigabyte of memory. 0 restores it.
    static void lowerLengthLimit(int bytes);

private:
    friend class Statement;
    sqlite3 *handle() const { return m_db; }

    sqlite3 *m_db = nullptr;
    QString m_path;
    QString m_lastError;
    int m_lastErrorCode = 0;
    quint64 m_rollbacks = 0;
};

// A transaction on one connection, rolled back unless committed. It takes the
// write lock at once (BEGIN IMMEDIATE): a second writer waits for the first
// instead of failing half-way, and reads made inside it see the rows as they
// are committed.
class Transaction
{
public:
    explicit Transaction(Database &db) : m_db(db) {}
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    // False with the connection's last error when the lock cannot be had.
    bool begin();
    // False after the engine itself rolled the transaction back (a full disk
    // or an I/O error does).
    bool isOpen() const { return m_begun && m_db.inTransaction(); }
    // On failure the transaction is rolled back, nothing is written, and the
    // connection's last error says why the commit failed.
    bool commit();

private:
    void rollback();

    Database &m_db;
    bool m_begun = false;
};

// One prepared statement; parameters are bound, never spliced into the text.
class Statement
{
public:
    Statement(Database &db, const QString &sql);
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    bool isValid() const { return m_stmt != nullptr; }

    // SQLite numbers parameters from 1 but result columns from 0. A value that
    // cannot be bound (see Database::lastErrorIsTooBig()) returns false, and the
    // next step() fails instead of running with a NULL in its place.
    bool bindInt64(int index, qint64 value);
    bool bindText(int index, const QString &value);
    // UTF-8 that SQLite reads in place: it must stay unchanged until the
    // statement is reset or bound anew.
    bool bindBorrowedText(int index, QByteArrayView utf8);
    bool bindBlob(int index, const QByteArray &value);
    bool bindNull(int index);

    // True when a row came back; false when done or on error (see hasError()).
    bool step();
    void reset();
    bool hasError() const { return m_error; }

    int columnCount() const;
    bool isNull(int column) const;
    bool isInteger(int column) const;
    bool isFloat(int column) const;
    qint64 int64Value(int column) const;
    double doubleValue(int column) const;
    QString textValue(int column) const;
    QByteArray blobValue(int column) const;

private:
    bool bound(int rc);

    Database &m_db;
    sqlite3_stmt *m_stmt = nullptr;
    bool m_error = false;
    bool m_bindFailed = false;
};

} // namespace bank

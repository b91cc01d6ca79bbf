#include "bank/database.h"

#include <sqlite3.h>

#include <atomic>

namespace bank {

namespace {

std::atomic<int> lengthLimit = 0;

QString errorText(sqlite3 *db)
{
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory");
}

} // namespace

Database::~Database()
{
    close();
}

bool Database::open(const QString &path, OpenMode mode)
{
    close();
    int flags = SQLITE_OPEN_NOMUTEX;
    switch (mode) {
    case OpenMode::ReadOnly:
        flags |= SQLITE_OPEN_READONLY;
        break;
    case OpenMode::ReadWrite:
        flags |= SQLITE_OPEN_READWRITE;
        break;
    case OpenMode::Create:
        flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
        break;
    }
    sqlite3 *db = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        m_lastError = errorText(db);
        m_lastErrorCode = rc;
        sqlite3_close_v2(db);
        return false;
    }
    sqlite3_extended_result_codes(db, 1);
    if (const int limit = lengthLimit; limit > 0)
        sqlite3_limit(db, SQLITE_LIMIT_LENGTH, limit);
    sqlite3_rollback_hook(
        db, [](void *self) { ++static_cast<Database *>(self)->m_rollbacks; }, this);
    // Another copy of the program may hold a short write lock.
    sqlite3_busy_timeout(db, 5000);
    m_db = db;
    m_path = path;
    m_lastError.clear();
    m_lastErrorCode = 0;
    if (mode != OpenMode::Create) {
        // A bank is data from outside: SQL in it must not be able to damage the file or
        // run functions with side effects, and a commit is on the disk when it returns.
        sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
        if (!execute(QStringLiteral("PRAGMA trusted_schema = OFF")) ||
            !execute(QStringLiteral("PRAGMA synchronous = FULL"))) {
            const QString error = m_lastError;
            close();
            m_lastError = error;
            return false;
        }
    }
    return true;
}

bool Database::lastErrorIsDamage() const
{
    const int code = m_lastErrorCode & 0xff;
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
}

bool Database::lastErrorIsNotADatabase() const
{
    return errorCode() == SQLITE_NOTADB;
}

bool Database::lastErrorIsTooBig() const
{
    return errorCode() == SQLITE_TOOBIG;
}

bool Database::lastErrorIsBusy() const
{
    return errorCode() == SQLITE_BUSY;
}

bool Database::lastErrorIsNotWritable() const
{
    // SQLite opens a file it may not write read-only and refuses the first
    // write; a folder it may not write keeps it from making its journal.
    const int code = errorCode();
    return code == SQLITE_READONLY || code == SQLITE_CANTOPEN || code == SQLITE_PERM;
}

void Database::lowerLengthLimit(int bytes)
{
    lengthLimit = bytes;
}

qint64 Database::changes() const
{
    return m_db ? sqlite3_changes64(m_db) : 0;
}

qint64 Database::totalChanges() const
{
    return m_db ? sqlite3_total_changes64(m_db) : 0;
}

bool Database::inTransaction() const
{
    return m_db && !sqlite3_get_autocommit(m_db);
}

int Database::errorCode() const
{
    // The code recorded with the last error outlives the statement that failed.
    if (m_lastErrorCode != 0)
        return m_lastErrorCode & 0xff;
    return m_db ? (sqlite3_extended_errcode(m_db) & 0xff) : SQLITE_MISUSE;
}

void Database::close()
{
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        m_path.clear();
    }
}

bool Database::execute(const QString &sql)
{
    Statement statement(*this, sql);
    if (!statement.isValid())
        return false;
    while (statement.step()) {
    }
    return !statement.hasError();
}

Transaction::~Transaction()
{
    if (isOpen())
        rollback();
}

bool Transaction::begin()
{
    m_begun = m_db.execute(QStringLiteral("BEGIN IMMEDIATE"));
    return m_begun;
}

bool Transaction::commit()
{
    if (!isOpen())
        return false;
    if (m_db.execute(QStringLiteral("COMMIT"))) {
        m_begun = false;
        return true;
    }
    const QString error = m_db.lastError();
    const int code = m_db.errorCode();
    if (m_db.inTransaction())
        rollback();
    m_db.setLastError(error, code);
    m_begun = false;
    return false;
}

void Transaction::rollback()
{
    m_db.execute(QStringLiteral("ROLLBACK"));
    m_begun = false;
}

Statement::Statement(Database &db, const QString &sql) : m_db(db)
{
    if (!db.handle()) {
        db.setLastError(QStringLiteral("database is not open"));
        m_error = true;
        return;
    }
    const QByteArray utf8 = sql.toUtf8();
    const char *tail = nullptr;
    const int rc =
        sqlite3_prepare_v2(db.handle(), utf8.constData(), int(utf8.size()), &m_stmt, &tail);
    if (rc != SQLITE_OK) {
        db.setLastError(errorText(db.handle()), rc);
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        m_error = true;
        return;
    }
    // One statement per object: anything after the first is refused.
    if (tail && QByteArray(tail).trimmed().size() > 0) {
        db.setLastError(QStringLiteral("more than one statement"));
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        m_error = true;
    }
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

bool Statement::bound(int rc)
{
    // A statement that failed to prepare keeps the error that says why.
    if (!m_stmt)
        return false;
    if (rc == SQLITE_OK)
        return true;
    m_db.setLastError(QString::fromUtf8(sqlite3_errstr(rc)), rc);
    m_bindFailed = true;
    return false;
}

bool Statement::bindInt64(int index, qint64 value)
{
    return bound(sqlite3_bind_int64(m_stmt, index, value));
}

bool Statement::bindText(int index, const QString &value)
{
    const QByteArray utf8 = value.toUtf8();
    // The 64-bit length: an int would wrap past 2 GiB instead of being refused.
    return bound(sqlite3_bind_text64(m_stmt, index, utf8.constData(), sqlite3_uint64(utf8.size()),
                                     SQLITE_TRANSIENT, SQLITE_UTF8));
}

bool Statement::bindBorrowedText(int index, QByteArrayView utf8)
{
    return bound(sqlite3_bind_text64(m_stmt, index, utf8.data(), sqlite3_uint64(utf8.size()),
                                     SQLITE_STATIC, SQLITE_UTF8));
}

bool Statement::bindBlob(int index, const QByteArray &value)
{
    return bound(sqlite3_bind_blob64(m_stmt, index, value.constData(), sqlite3_uint64(value.size()),
                                     SQLITE_TRANSIENT));
}

bool Statement::bindNull(int index)
{
    return bound(sqlite3_bind_null(m_stmt, index));
}

bool Statement::step()
{
    if (!m_stmt)
        return false;
    // The error of the bind stays the connection's last one.
    if (m_bindFailed) {
        m_error = true;
        return false;
    }
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE) {
        m_error = true;
        m_db.setLastError(errorText(m_db.handle()), rc);
    }
    return false;
}

void Statement::reset()
{
    if (m_stmt) {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    m_error = !m_stmt;
    m_bindFailed = false;
}

int Statement::columnCount() const
{
    return sqlite3_column_count(m_stmt);
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

bool Statement::isInteger(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_INTEGER;
}

bool Statement::isFloat(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_FLOAT;
}

qint64 Statement::int64Value(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

double Statement::doubleValue(int column) const
{
    return sqlite3_column_double(m_stmt, column);
}

QString Statement::textValue(int column) const
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    return QString::fromUtf8(text, sqlite3_column_bytes(m_stmt, column));
}

QByteArray Statement::blobValue(int column) const
{
    const auto *data = static_cast<const char *>(sqlite3_column_blob(m_stmt, column));
    return QByteArray(data, sqlite3_column_bytes(m_stmt, column));
}

} // namespace bank

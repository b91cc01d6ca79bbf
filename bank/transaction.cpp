#include "bank/transaction.h"

#include "bank/bankerror.h"
#include "bank/bankfile.h"
#include "bank/connection.h"

#include <sqlite3.h>

namespace bank {

WriteTransaction::WriteTransaction(Connection &connection) : m_connection(connection)
{
    // A read-only bank refuses the first write itself, with its own message.
    if (!connection.isConnected() || connection.isReadOnly())
        return;
    Database &db = connection.database();
    if (!db.execute(QStringLiteral("BEGIN IMMEDIATE"))) {
        if (db.errorCode() == SQLITE_BUSY)
            throw BankError(
                QStringLiteral("题库正被另一个程序使用，请稍后再试（%1）").arg(db.lastError()));
        throw writeFailure(db);
    }
    m_begun = true;
}

WriteTransaction::~WriteTransaction()
{
    if (isOpen())
        m_connection.database().execute(QStringLiteral("ROLLBACK"));
}

bool WriteTransaction::isOpen() const
{
    return m_begun && m_connection.isConnected() && m_connection.database().inTransaction();
}

void WriteTransaction::commit()
{
    if (!isOpen())
        return;
    Database &db = m_connection.database();
    if (!db.execute(QStringLiteral("COMMIT"))) {
        const BankError failure = writeFailure(db);
        if (db.inTransaction())
            db.execute(QStringLiteral("ROLLBACK"));
        throw failure;
    }
    m_begun = false;
}

} // namespace bank

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
        if (db.lastErrorIsDamage())
            throw BankError(damagedBankMessage(db.path(), db.lastError()));
        if (db.errorCode() == SQLITE_BUSY)
            throw BankError(
                QStringLiteral("题库正被另一个程序使用，请稍后再试（%1）").arg(db.lastError()));
        throw BankError(QStringLiteral("写入题库失败：%1").arg(db.lastError()));
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
        const QString error = db.lastError();
        const bool damage = db.lastErrorIsDamage();
        if (db.inTransaction())
            db.execute(QStringLiteral("ROLLBACK"));
        throw BankError(damage ? damagedBankMessage(db.path(), error)
                               : QStringLiteral("写入题库失败：%1").arg(error));
    }
    m_begun = false;
}

} // namespace bank

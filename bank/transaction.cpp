#include "bank/transaction.h"

#include "bank/bankerror.h"
#include "bank/bankfile.h"
#include "bank/connection.h"

namespace bank {

WriteTransaction::WriteTransaction(Connection &connection)
    : m_connection(connection), m_transaction(connection.database())
{
    // A read-only bank refuses the first write itself, with its own message.
    if (!connection.isConnected() || connection.isReadOnly())
        return;
    Database &db = connection.database();
    if (!m_transaction.begin()) {
        if (db.lastErrorIsBusy())
            throw BankError(
                QStringLiteral("题库正被另一个程序使用，请稍后再试（%1）").arg(db.lastError()));
        throw writeFailure(db);
    }
}

bool WriteTransaction::isOpen() const
{
    return m_connection.isConnected() && m_transaction.isOpen();
}

void WriteTransaction::commit()
{
    if (isOpen() && !m_transaction.commit())
        throw writeFailure(m_connection.database());
}

} // namespace bank

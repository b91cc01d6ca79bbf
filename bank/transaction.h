#pragma once

#include "bank/database.h"

namespace bank {

class Connection;

// A write transaction on a connected bank (see Transaction). Without a
// connection it does nothing, leaving the query to say why the bank is not
// open. Rolled back unless committed.
class WriteTransaction
{
public:
    // Throws BankError when the lock cannot be had.
    explicit WriteTransaction(Connection &connection);
    WriteTransaction(const WriteTransaction &) = delete;
    WriteTransaction &operator=(const WriteTransaction &) = delete;

    // False without a connection, and after the engine itself rolled the
    // transaction back (a full disk or an I/O error does).
    bool isOpen() const;
    // Throws BankError when the commit fails; nothing is written then.
    void commit();

private:
    Connection &m_connection;
    Transaction m_transaction;
};

} // namespace bank

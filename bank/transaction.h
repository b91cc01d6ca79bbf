#pragma once

namespace bank {

class Connection;

// A write transaction on a connected bank. It takes the write lock at once
// (BEGIN IMMEDIATE), so a second copy of the program waits for the first
// instead of failing half-way, and reads made inside it see the rows as they
// are committed. Without a connection it does nothing, leaving the query to
// say why the bank is not open. Rolled back unless committed.
class WriteTransaction
{
public:
    // Throws BankError when the lock cannot be had.
    explicit WriteTransaction(Connection &connection);
    ~WriteTransaction();
    WriteTransaction(const WriteTransaction &) = delete;
    WriteTransaction &operator=(const WriteTransaction &) = delete;

    // False without a connection, and after the engine itself rolled the
    // transaction back (a full disk or an I/O error does).
    bool isOpen() const;
    // Throws BankError when the commit fails; nothing is written then.
    void commit();

private:
    Connection &m_connection;
    bool m_begun = false;
};

} // namespace bank

#pragma once

#include <QString>

#include <exception>

namespace bank {

// Raised by the record operations of a query and by failed writes. The text is
// meant for the user: it is what the error box shows.
class BankError : public std::exception
{
public:
    explicit BankError(const QString &message) : m_message(message), m_utf8(message.toUtf8()) {}

    QString message() const { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

} // namespace bank

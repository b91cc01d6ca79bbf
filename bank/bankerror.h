#pragma once

#include <QString>

#include <exception>

namespace bank {

// What went wrong with the bank, so that the window can offer the way out
// that fits: a bank to put in place, to convert, to repair or to move.
enum class Problem
{
    Other,
    NotOpen,       // the bank could not be opened, for a reason not listed here
    Missing,       // no bank file where the program looks for it
    OldFormat,     // a bank of the old program (Access/Jet), which must be converted
    WrongPassword, // a bank of this format made with another password
    Damaged,       // the file is open but its contents are damaged
    ReadOnly       // the bank or its folder may not be written
};

// Raised by the record operations of a query and by failed writes. The text is
// meant for the user: it is what the error box shows.
class BankError : public std::exception
{
public:
    explicit BankError(const QString &message, Problem problem = Problem::Other,
                       const QString &path = QString())
        : m_message(message), m_utf8(message.toUtf8()), m_problem(problem), m_path(path)
    {}

    QString message() const { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }
    Problem problem() const { return m_problem; }
    // The bank file the problem is about, where known.
    QString path() const { return m_path; }

private:
    QString m_message;
    QByteArray m_utf8;
    Problem m_problem;
    QString m_path;
};

} // namespace bank

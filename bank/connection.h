#pragma once

#include "bank/bankerror.h"
#include "bank/database.h"

#include <QObject>
#include <QString>

namespace bank {

// The program's one link to its question bank. It reads an OLE DB style
// connection string naming the Jet provider, opens the file it names without
// ever creating one, and admits it only if it is a question bank whose
// password matches.
class Connection : public QObject
{
    Q_OBJECT

public:
    explicit Connection(QObject *parent = nullptr);
    ~Connection() override;

    void setLoginPrompt(bool prompt) { m_loginPrompt = prompt; }
    bool loginPrompt() const { return m_loginPrompt; }

    void setConnectionString(const QString &text) { m_connectionString = text; }
    QString connectionString() const { return m_connectionString; }

    // Throws BankError with the reason when the bank cannot be opened.
    void open();
    void close();
    bool isConnected() const { return m_db.isOpen(); }
    bool isReadOnly() const { return m_readOnly; }

    // Why the last open failed, in words for the user; empty when connected.
    QString failureReason() const { return m_failure.message(); }
    // The same as an error, telling what kind of problem it is and which file.
    BankError failure() const { return m_failure; }

    Database &database() { return m_db; }

signals:
    void aboutToClose();

private:
    Database m_db;
    QString m_connectionString;
    BankError m_failure{QString()};
    bool m_loginPrompt = true;
    bool m_readOnly = false;
};

} // namespace bank

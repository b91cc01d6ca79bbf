#pragma once

#include "authoring/questionsource.h"
#include "bank/database.h"

#include <QStringList>

#include <memory>

namespace authoring {

// The rows of a bank in store order, exactly as stored (NULLs and all). The
// bank is opened read-only and never changed.
class BankSource : public QuestionSource
{
public:
    BankSource();
    ~BankSource() override;

    // Refuses a file that is not a bank with the program's password.
    bool open(const QString &path, QString *error);

    Format format() const override { return Format::Bank; }
    QString describeLocation(qint64 location) const override;
    bool next(SourceRecord &record) override;
    QString error() const override { return m_error; }
    qint64 bytesRead() const override { return m_read; }
    qint64 totalBytes() const override { return m_rows; }

    // SQLite's own check of the file; empty when it finds nothing.
    QStringList integrityProblems() override;

private:
    bank::Database m_db;
    std::unique_ptr<bank::Statement> m_select;
    qint64 m_read = 0;
    qint64 m_rows = 0;
    QString m_error;
};

// Opens a bank with the program's password for reading, or for writing when
// `writable`; false with `error` set for a file that is not such a bank.
bool openBank(bank::Database &db, const QString &path, bool writable, QString *error);

} // namespace authoring

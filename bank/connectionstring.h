#pragma once

#include <QList>
#include <QPair>
#include <QString>

#include <optional>

namespace bank {

// An OLE DB style connection string: "Key = value; Key2=value2". Keys are
// matched without regard to case or surrounding blanks; a value that holds a
// ';' or starts or ends with blanks is written in single or double quotes,
// with the quote character doubled inside.
class ConnectionString
{
public:
    // Returns nothing when the text cannot be read; error() says why.
    static std::optional<ConnectionString> parse(const QString &text, QString *error = nullptr);

    // Quotes a value only when it could not otherwise be read back unchanged.
    static QString quoteValue(const QString &value);

    bool contains(const QString &key) const;
    QString value(const QString &key) const;

private:
    QList<QPair<QString, QString>> m_entries;
};

} // namespace bank

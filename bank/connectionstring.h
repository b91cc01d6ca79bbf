#pragma once

#include <QList>
#include <QPair>
#include <QString>

namespace bank {

// An OLE DB style connection string: "Key = value; Key2=value2". Keys are
// matched without regard to case or surrounding blanks; a value that holds a
// ';' or starts or ends with blanks is written in single or double quotes,
// with the quote character doubled inside.
class ConnectionString
{
public:
    // Takes the entries of `text`; false with the reason in `error` when the
    // text cannot be read, and then holds no entries.
    bool parse(const QString &text, QString *error = nullptr);

    // Quotes a value only when it could not otherwise be read back unchanged.
    static QString quoteValue(const QString &value);

    bool contains(const QString &key) const;
    QString value(const QString &key) const;

private:
    QList<QPair<QString, QString>> m_entries;
};

} // namespace bank

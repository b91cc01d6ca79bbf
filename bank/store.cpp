#include "bank/store.h"

#include "bank/connection.h"
#include "bank/connectionstring.h"
#include "bank/query.h"

namespace bank {

QString accessConnectionString(const QString &path, const QString &password)
{
    // A path or password holding ';' is quoted so that it reads back whole.
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Persist Security Info = False;"
                          "Mode = ReadWrite;Data Source=%1;Jet OLEDB:Database Password=%2")
        .arg(ConnectionString::quoteValue(path), ConnectionString::quoteValue(password));
}

namespace {

bool openWithSql(Query &query, const QString &sql)
{
    try {
        query.close();
        query.sql().clear();
        query.sql().append(sql);
        query.open();
    } catch (...) {
    }
    return query.isActive();
}

} // namespace

} // namespace bank

bool ConnectAccessDb(bank::Connection &connection, const QString &path, const QString &password)
{
    try {
        connection.setLoginPrompt(false);
        connection.setConnectionString(bank::accessConnectionString(path, password));
        connection.open();
        return connection.isConnected();
    } catch (...) {
        return false;
    }
}

bool OpenTable(bank::Query &query, const QString &table)
{
    return bank::openWithSql(query, QStringLiteral("select * from ") + table);
}

bool OpenTableWhere(bank::Query &query, const QString &table, const QString &condition)
{
    return bank::openWithSql(query, QStringLiteral("select * from ") + table +
                                        QStringLiteral(" where ") + condition);
}

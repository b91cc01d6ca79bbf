#include "authoring/bankmarks.h"

#include "authoring/banksource.h"
#include "bank/database.h"

#include <QFileInfo>

namespace authoring {

namespace {

// Takes the connection's last error as the reason.
bool failed(bank::Database &db, QString *error)
{
    *error = db.lastError();
    return false;
}

bool run(bank::Database &db, const QString &sql, QString *error)
{
    return db.execute(sql) || failed(db, error);
}

bool scalar(bank::Database &db, const QString &sql, qint64 *value, QString *error)
{
    bank::Statement statement(db, sql);
    if (!statement.step()) {
        *error = db.lastError();
        return false;
    }
    *value = statement.int64Value(0);
    return true;
}

} // namespace

bool countPractised(const QString &bankPath, qint64 *practised, QString *error)
{
    bank::Database db;
    return openBank(db, bankPath, false, error) &&
           scalar(db, QStringLiteral("SELECT count(*) FROM kx WHERE xx = 1"), practised, error);
}

bool resetMarks(const QString &bankPath, qint64 *changed, QString *error)
{
    bank::Database db;
    if (!openBank(db, bankPath, true, error))
        return false;
    bank::Transaction reset(db);
    if (!reset.begin())
        return failed(db, error);
    return run(db, QStringLiteral("UPDATE kx SET xx = 0 WHERE xx = 1"), error) &&
           scalar(db, QStringLiteral("SELECT changes()"), changed, error) &&
           (reset.commit() || failed(db, error));
}

bool carryMarks(const QString &oldPath, const QString &newPath, qint64 *carried, qint64 *unmatched,
                QString *error)
{
    const QFileInfo oldInfo(oldPath);
    if (oldInfo.exists() && oldInfo.canonicalFilePath() == QFileInfo(newPath).canonicalFilePath()) {
        *error = QStringLiteral("旧题库和新题库是同一个文件");
        return false;
    }
    bank::Database oldDb;
    bank::Database newDb;
    if (!openBank(oldDb, oldPath, false, error) || !openBank(newDb, newPath, true, error))
        return false;

    // The old bank's practised texts go to a temporary table of the new
    // bank's connection, which SQLite keeps on disk when large.
    bank::Transaction carry(newDb);
    if (!carry.begin())
        return failed(newDb, error);
    if (!run(newDb, QStringLiteral("CREATE TEMP TABLE old_practised (tm TEXT)"), error))
        return false;
    qint64 withoutText = 0;
    {
        bank::Statement select(oldDb, QStringLiteral("SELECT tm FROM kx WHERE xx = 1"));
        bank::Statement insert(newDb, QStringLiteral("INSERT INTO old_practised VALUES (?1)"));
        while (select.step()) {
            if (select.isNull(0)) {
                ++withoutText;
                continue;
            }
            insert.reset();
            insert.bindText(1, select.textValue(0));
            insert.step();
            if (insert.hasError())
                return failed(newDb, error);
        }
        if (select.hasError()) {
            *error = QStringLiteral("读取 %1 时出错：%2").arg(oldPath, oldDb.lastError());
            return false;
        }
    }
    qint64 missing = 0;
    if (!run(newDb, QStringLiteral("CREATE INDEX temp.old_practised_tm ON old_practised (tm)"),
             error) ||
        !run(newDb,
             QStringLiteral("UPDATE main.kx SET xx = 1 WHERE xx IS NOT 1 AND tm IN "
                            "(SELECT tm FROM old_practised)"),
             error) ||
        !scalar(newDb, QStringLiteral("SELECT changes()"), carried, error) ||
        !scalar(newDb,
                QStringLiteral("SELECT count(*) FROM old_practised WHERE tm NOT IN "
                               "(SELECT tm FROM main.kx WHERE tm IS NOT NULL)"),
                &missing, error))
        return false;
    if (!carry.commit())
        return failed(newDb, error);
    *unmatched = missing + withoutText;
    return true;
}

} // namespace authoring

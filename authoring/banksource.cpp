#include "authoring/banksource.h"

#include "bank/bankfile.h"
#include "bank/store.h"

#include <QFileInfo>

namespace authoring {

bool openBank(bank::Database &db, const QString &path, bool writable, QString *error)
{
    if (!QFileInfo(path).isFile()) {
        *error = QStringLiteral("找不到题库 %1").arg(path);
        return false;
    }
    if (!db.open(path, writable ? bank::Database::OpenMode::ReadWrite
                                : bank::Database::OpenMode::ReadOnly)) {
        *error = QStringLiteral("无法打开题库 %1：%2").arg(path, db.lastError());
        return false;
    }
    QString detail;
    const bank::BankCheck check = bank::checkBank(db, bank::kBankPassword, &detail);
    if (check == bank::BankCheck::Ok)
        return true;
    *error = bank::bankCheckMessage(check, path, detail);
    db.close();
    return false;
}

BankSource::BankSource() = default;
BankSource::~BankSource() = default;

bool BankSource::open(const QString &path, QString *error)
{
    if (!openBank(m_db, path, false, error))
        return false;
    {
        bank::Statement count(m_db, QStringLiteral("SELECT count(*) FROM kx"));
        if (count.step())
            m_rows = count.int64Value(0);
    }
    m_select = std::make_unique<bank::Statement>(
        m_db, QStringLiteral("SELECT id, tm, da, xx FROM kx ORDER BY rowid"));
    if (!m_select->isValid()) {
        *error = QStringLiteral("无法读取题库 %1：%2").arg(path, m_db.lastError());
        return false;
    }
    return true;
}

QString BankSource::describeLocation(qint64 location) const
{
    return QStringLiteral("第 %1 条").arg(location);
}

bool BankSource::next(SourceRecord &record)
{
    if (!m_select->step()) {
        if (m_select->hasError())
            m_error = QStringLiteral("读取题库时出错：%1").arg(m_db.lastError());
        return false;
    }
    record.location = ++m_read;
    record.errors.clear();
    record.notes.clear();
    bank::Question &q = record.question.emplace();
    bank::Statement &s = *m_select;
    q.id = s.isNull(0) ? std::nullopt : std::optional<qint64>(s.int64Value(0));
    q.tm = s.isNull(1) ? std::nullopt : std::optional<QString>(s.textValue(1));
    q.da = s.isNull(2) ? std::nullopt : std::optional<QString>(s.textValue(2));
    q.xx = s.isNull(3) ? std::nullopt : std::optional<qint64>(s.int64Value(3));
    return true;
}

QStringList BankSource::integrityProblems()
{
    return bank::integrityProblems(m_db);
}

} // namespace authoring

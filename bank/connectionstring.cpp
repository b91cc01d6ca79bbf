#include "bank/connectionstring.h"

namespace bank {

namespace {

QString normalizedKey(const QString &key)
{
    return key.simplified().toCaseFolded();
}

} // namespace

bool ConnectionString::parse(const QString &text, QString *error)
{
    m_entries.clear();
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };

    QList<QPair<QString, QString>> entries;
    qsizetype pos = 0;
    const qsizetype n = text.size();
    while (pos < n) {
        const qsizetype eq = text.indexOf(QLatin1Char('='), pos);
        const qsizetype semicolon = text.indexOf(QLatin1Char(';'), pos);
        if (eq < 0 || (semicolon >= 0 && semicolon < eq)) {
            // A stretch without "=" is allowed only when it is empty (";;" or a trailing ";").
            const qsizetype end = semicolon < 0 ? n : semicolon;
            if (!text.mid(pos, end - pos).trimmed().isEmpty())
                return fail(
                    QStringLiteral("连接字符串中缺少“=”：%1").arg(text.mid(pos, end - pos)));
            pos = end + 1;
            continue;
        }
        const QString key = text.mid(pos, eq - pos).trimmed();
        if (key.isEmpty())
            return fail(QStringLiteral("连接字符串中有空的键名"));

        qsizetype i = eq + 1;
        while (i < n && text.at(i).isSpace())
            ++i;
        QString value;
        if (i < n && (text.at(i) == QLatin1Char('"') || text.at(i) == QLatin1Char('\''))) {
            const QChar quote = text.at(i);
            ++i;
            bool closed = false;
            while (i < n) {
                if (text.at(i) == quote) {
                    if (i + 1 < n && text.at(i + 1) == quote) {
                        value += quote;
                        i += 2;
                        continue;
                    }
                    closed = true;
                    ++i;
                    break;
                }
                value += text.at(i++);
            }
            if (!closed)
                return fail(QStringLiteral("连接字符串中“%1”的引号没有闭合").arg(key));
            while (i < n && text.at(i).isSpace())
                ++i;
            if (i < n && text.at(i) != QLatin1Char(';'))
                return fail(QStringLiteral("连接字符串中“%1”的值在引号后还有字符").arg(key));
        } else {
            const qsizetype end = text.indexOf(QLatin1Char(';'), i);
            value = text.mid(i, (end < 0 ? n : end) - i).trimmed();
            i = end < 0 ? n : end;
        }
        pos = i + 1;

        // The last of repeated keys wins, as with OLE DB.
        const QString folded = normalizedKey(key);
        entries.removeIf(
            [&folded](const auto &entry) { return normalizedKey(entry.first) == folded; });
        entries.append({key, value});
    }
    m_entries = entries;
    return true;
}

QString ConnectionString::quoteValue(const QString &value)
{
    const bool plain = !value.contains(QLatin1Char(';')) && value.trimmed() == value &&
                       !value.startsWith(QLatin1Char('"')) && !value.startsWith(QLatin1Char('\''));
    if (plain)
        return value;
    QString quoted = value;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

bool ConnectionString::contains(const QString &key) const
{
    const QString folded = normalizedKey(key);
    for (const auto &entry : m_entries) {
        if (normalizedKey(entry.first) == folded)
            return true;
    }
    return false;
}

QString ConnectionString::value(const QString &key) const
{
    const QString folded = normalizedKey(key);
    for (const auto &entry : m_entries) {
        if (normalizedKey(entry.first) == folded)
            return entry.second;
    }
    return {};
}

} // namespace bank

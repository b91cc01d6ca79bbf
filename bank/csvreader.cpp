#include "bank/csvreader.h"

namespace bank {

CsvReader::CsvReader(const QString &text) : m_text(text)
{
    if (m_text.startsWith(QChar(0xFEFF)))
        m_pos = 1;
}

bool CsvReader::readRecord(QStringList &fields)
{
    fields.clear();
    m_error.clear();
    const qsizetype n = m_text.size();
    if (m_pos >= n)
        return false;
    m_recordLine = m_line;

    QString field;
    while (true) {
        if (m_pos < n && m_text.at(m_pos) == QLatin1Char('"')) {
            ++m_pos;
            while (true) {
                if (m_pos >= n) {
                    m_error = QStringLiteral("引号没有闭合");
                    return false;
                }
                const QChar c = m_text.at(m_pos++);
                if (c == QLatin1Char('"')) {
                    if (m_pos < n && m_text.at(m_pos) == QLatin1Char('"')) {
                        field += QLatin1Char('"');
                        ++m_pos;
                        continue;
                    }
                    break;
                }
                if (c == QLatin1Char('\n'))
                    ++m_line;
                field += c;
            }
            if (m_pos < n && m_text.at(m_pos) != QLatin1Char(',') &&
                m_text.at(m_pos) != QLatin1Char('\n') && m_text.at(m_pos) != QLatin1Char('\r')) {
                m_error = QStringLiteral("引号后面应当是逗号或换行");
                return false;
            }
        } else {
            while (m_pos < n) {
                const QChar c = m_text.at(m_pos);
                if (c == QLatin1Char(',') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
                    break;
                if (c == QLatin1Char('"')) {
                    m_error = QStringLiteral("没有用引号括起的字段中出现了引号");
                    return false;
                }
                field += c;
                ++m_pos;
            }
        }
        fields.append(field);
        field.clear();

        if (m_pos >= n)
            return true;
        const QChar c = m_text.at(m_pos++);
        if (c == QLatin1Char(','))
            continue;
        if (c == QLatin1Char('\r')) {
            if (m_pos < n && m_text.at(m_pos) == QLatin1Char('\n'))
                ++m_pos;
        }
        ++m_line;
        return true;
    }
}

} // namespace bank

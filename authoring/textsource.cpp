#include "authoring/textsource.h"

#include "authoring/layout.h"

#include <QRegularExpression>

namespace authoring {

namespace {

const QRegularExpression
    kNumber(QStringLiteral(R"(^\s*(?:\d+\s*[.、．]|[（(]\s*\d+\s*[）)])\s*(.*)$)"));
const QRegularExpression kOption(
    QStringLiteral(R"(^\s*(?:([A-DＡ-Ｄ])\s*[.、．:：]|[（(]\s*([A-DＡ-Ｄ])\s*[）)])\s*(.*)$)"));
const QRegularExpression
    kAnswer(QStringLiteral(R"(^\s*(?:正确答案\s*[:：]|答案\s*[:：]|【答案】)\s*(.*)$)"));

// The option letter of a line, 0 to 3, or -1 when it is not an option line.
int optionIndex(const QRegularExpressionMatch &match)
{
    if (!match.hasMatch())
        return -1;
    const QString letter = match.captured(1).isEmpty() ? match.captured(2) : match.captured(1);
    const char16_t c = letter.at(0).unicode();
    return c >= u'Ａ' ? c - u'Ａ' : c - u'A';
}

bool isBlank(const QString &line)
{
    return trimCell(line).isEmpty();
}

} // namespace

bool TextSource::open(const QString &path, Encoding encoding, QString *error)
{
    if (!m_input.open(path, encoding, error))
        return false;
    m_lines.emplace(m_input);
    return true;
}

QString TextSource::describeLocation(qint64 location) const
{
    return QStringLiteral("第 %1 行").arg(location);
}

bool TextSource::nextLine()
{
    if (m_havePending) {
        m_havePending = false;
        return true;
    }
    return m_lines->readLine(m_line);
}

bool TextSource::next(SourceRecord &record)
{
    // Find the start of a question; any other line before it is out of place.
    qint64 strayLine = 0;
    QRegularExpressionMatch start;
    while (true) {
        if (!nextLine()) {
            if (!strayLine)
                return false;
            break;
        }
        if (isBlank(m_line))
            continue;
        start = kNumber.match(m_line);
        if (start.hasMatch())
            break;
        if (!strayLine)
            strayLine = m_lines->lineNumber();
    }
    if (strayLine) {
        // Report the stray text as a record of its own; the question found
        // after it is read next time.
        m_havePending = start.hasMatch();
        record.location = strayLine;
        record.question.reset();
        record.notes.clear();
        record.errors = QStringList{QStringLiteral("这里应当是带题号的题目，如“1. ……”")};
        return true;
    }

    record.location = m_lines->lineNumber();
    record.errors.clear();
    record.notes.clear();
    record.question.emplace();
    ++m_position;

    TemplateQuestion parts;
    QStringList stem{start.captured(1)};
    int options = 0;
    QStringList option;
    bool answered = false;
    auto closeOption = [&] {
        if (options > 0)
            parts.options[options - 1] = trimCell(option.join(QLatin1Char('\n')));
    };

    while (nextLine()) {
        if (isBlank(m_line))
            continue;
        const QRegularExpressionMatch answer = kAnswer.match(m_line);
        if (answer.hasMatch()) {
            closeOption();
            if (options < 4)
                record.errors.append(
                    QStringLiteral("只有 %1 个选项，应当有 A 到 D 四个").arg(options));
            takeAnswer(answer.captured(1), record);
            answered = true;
            break;
        }
        const int index = optionIndex(kOption.match(m_line));
        if (index == options && options < 4) {
            closeOption();
            ++options;
            option = QStringList{kOption.match(m_line).captured(3)};
            continue;
        }
        if (options == 4 && kNumber.match(m_line).hasMatch()) {
            // The next question began before this one had its answer.
            m_havePending = true;
            break;
        }
        if (index >= 0) {
            record.errors.append(QStringLiteral("第 %1 行的选项 %2 不在应有的位置，应当是选项 %3")
                                     .arg(m_lines->lineNumber())
                                     .arg(QChar(u'A' + index))
                                     .arg(QChar(u'A' + qMin(options, 3))));
            break;
        }
        if (options == 0)
            stem.append(m_line);
        else
            option.append(m_line);
    }
    if (!answered) {
        closeOption();
        if (record.errors.isEmpty())
            record.errors.append(QStringLiteral("缺少答案行，如“答案：B”"));
        // Pass over the rest of a broken question up to the next numbered line.
        if (!m_havePending) {
            while (nextLine()) {
                if (kNumber.match(m_line).hasMatch() && !kOption.match(m_line).hasMatch()) {
                    m_havePending = true;
                    break;
                }
            }
        }
    }

    parts.stem = trimCell(stem.join(QLatin1Char('\n')));
    if (parts.stem.isEmpty())
        record.errors.append(QStringLiteral("题干是空的"));
    bank::Question &q = *record.question;
    q.id = m_position;
    q.tm = composeQuestion(parts);
    q.xx = 0;
    if (!record.errors.isEmpty())
        record.question.reset();
    return true;
}

} // namespace authoring

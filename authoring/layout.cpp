#include "authoring/layout.h"

namespace authoring {

namespace {

const QStringList kBankColumns = {QStringLiteral("id"), QStringLiteral("tm"), QStringLiteral("da"),
                                  QStringLiteral("xx")};

// Each template column with the names authors give it.
const QList<QStringList> kTemplateColumns = {
    {QStringLiteral("题干"), QStringLiteral("题目")},
    {QStringLiteral("A"), QStringLiteral("选项A")},
    {QStringLiteral("B"), QStringLiteral("选项B")},
    {QStringLiteral("C"), QStringLiteral("选项C")},
    {QStringLiteral("D"), QStringLiteral("选项D")},
    {QStringLiteral("答案"), QStringLiteral("正确答案")},
};

QList<int> findColumns(const QStringList &names, const QList<QStringList> &wanted)
{
    QList<int> columns;
    for (const QStringList &aliases : wanted) {
        int found = -1;
        for (int i = 0; i < names.size() && found < 0; ++i) {
            if (aliases.contains(names.at(i), Qt::CaseInsensitive))
                found = i;
        }
        if (found < 0)
            return {};
        columns.append(found);
    }
    return columns;
}

} // namespace

QString composeQuestion(const TemplateQuestion &parts)
{
    return parts.stem + QStringLiteral("\nA.") + parts.options[0] + QStringLiteral("\nB.") +
           parts.options[1] + QStringLiteral("\nC.") + parts.options[2] + QStringLiteral("\nD.") +
           parts.options[3];
}

QString trimCell(const QString &cell)
{
    // QString::trimmed() takes every Unicode blank, U+3000 among them.
    return cell.trimmed();
}

void takeAnswer(const QString &written, SourceRecord &record)
{
    const QString answer = trimCell(written);
    if (answer.size() == 1) {
        const char16_t c = answer.at(0).unicode();
        char16_t letter = 0;
        if (c >= u'A' && c <= u'D')
            letter = c;
        else if (c >= u'a' && c <= u'd')
            letter = c - u'a' + u'A';
        else if (c >= u'Ａ' && c <= u'Ｄ')
            letter = c - u'Ａ' + u'A';
        else if (c >= u'ａ' && c <= u'ｄ')
            letter = c - u'ａ' + u'A';
        if (letter) {
            const QString capital(QChar{letter});
            if (capital != answer)
                record.notes.append(QStringLiteral("答案“%1”按“%2”录入").arg(answer, capital));
            record.question->da = capital;
            return;
        }
    }
    record.errors.append(QStringLiteral("答案“%1”不是 A、B、C、D 之一").arg(answer));
}

std::optional<Layout> Layout::fromHeader(const QStringList &header, QString *error)
{
    QStringList names;
    for (const QString &cell : header)
        names.append(trimCell(cell));
    while (!names.isEmpty() && names.last().isEmpty())
        names.removeLast();

    Layout layout;
    layout.m_width = int(names.size());
    QList<QStringList> bank;
    for (const QString &name : kBankColumns)
        bank.append(QStringList{name});
    layout.m_columns = findColumns(names, bank);
    if (!layout.m_columns.isEmpty())
        return layout;
    layout.m_kind = Kind::Template;
    layout.m_columns = findColumns(names, kTemplateColumns);
    if (!layout.m_columns.isEmpty())
        return layout;
    *error = QStringLiteral("标题行应当是 id,tm,da,xx 或 题干,A,B,C,D,答案，实际是 %1")
                 .arg(names.join(QLatin1Char(',')));
    return std::nullopt;
}

void Layout::build(const QStringList &cells, bool padShortRows, SourceRecord &record)
{
    record.question.emplace();
    record.errors.clear();
    record.notes.clear();
    ++m_position;

    qsizetype used = cells.size();
    while (used > m_width && cells.at(used - 1).isEmpty())
        --used;
    if (used > m_width)
        record.errors.append(
            QStringLiteral("有 %1 个字段，比标题行多 %2 个").arg(used).arg(used - m_width));
    else if (used < m_width && !padShortRows)
        record.errors.append(
            QStringLiteral("只有 %1 个字段，标题行有 %2 个").arg(used).arg(m_width));
    auto cell = [&](int field) {
        const int index = m_columns.at(field);
        return index < cells.size() ? cells.at(index) : QString();
    };

    bank::Question &q = *record.question;
    if (m_kind == Kind::Template) {
        TemplateQuestion parts;
        parts.stem = trimCell(cell(0));
        for (int i = 0; i < 4; ++i)
            parts.options[i] = trimCell(cell(i + 1));
        if (parts.stem.isEmpty())
            record.errors.append(QStringLiteral("题干是空的"));
        q.id = m_position;
        q.tm = composeQuestion(parts);
        q.xx = 0;
        takeAnswer(cell(5), record);
    } else {
        bool ok = false;
        const QString id = trimCell(cell(0));
        q.id = id.toInt(&ok);
        if (!ok)
            record.errors.append(QStringLiteral("id“%1”不是 32 位整数").arg(id));
        q.tm = cell(1);
        if (trimCell(*q.tm).isEmpty())
            record.errors.append(QStringLiteral("题目是空的"));
        takeAnswer(cell(2), record);
        const QString xx = trimCell(cell(3));
        if (xx == QLatin1String("0") || xx == QLatin1String("1"))
            q.xx = xx.toInt();
        else
            record.errors.append(QStringLiteral("xx“%1”应当是 0 或 1").arg(xx));
    }
    if (!record.errors.isEmpty())
        record.question.reset();
}

} // namespace authoring

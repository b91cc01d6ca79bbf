#include "authoring/checker.h"

namespace authoring {

namespace {

bool isAnswerLetter(const std::optional<QString> &da)
{
    return da && da->size() == 1 && da->at(0) >= u'A' && da->at(0) <= u'D';
}

} // namespace

QString Checker::describe(const SourceRecord &record) const
{
    QString where = m_source.describeLocation(record.location);
    const Format format = m_source.format();
    if ((format == Format::Bank || format == Format::Legacy) && record.question &&
        record.question->id)
        where += QStringLiteral("（id %1）").arg(*record.question->id);
    return where;
}

QStringList Checker::check(SourceRecord &record)
{
    QStringList problems = record.errors;
    if (!record.question)
        return problems;
    const bank::Question &q = *record.question;

    if (q.id) {
        const auto seen = m_ids.constFind(*q.id);
        if (seen != m_ids.constEnd())
            problems.append(QStringLiteral("id %1 与%2重复")
                                .arg(*q.id)
                                .arg(m_source.describeLocation(seen.value())));
        else
            m_ids.insert(*q.id, record.location);
    }
    if (m_mode == Mode::Create) {
        if (const QString seen = repeated(q, record.location); !seen.isEmpty())
            record.notes.append(seen);
        return problems;
    }

    if (!q.id)
        problems.append(QStringLiteral("id 是 NULL"));
    if (!q.tm)
        problems.append(QStringLiteral("题目（tm）是 NULL"));
    else if (q.tm->trimmed().isEmpty())
        problems.append(QStringLiteral("题目是空的"));
    if (!q.da)
        problems.append(QStringLiteral("答案（da）是 NULL"));
    else if (!isAnswerLetter(q.da))
        problems.append(
            QStringLiteral("答案“%1”不是 A、B、C、D 之一，这道题永远答不对").arg(*q.da));
    if (!q.xx)
        problems.append(QStringLiteral("练习标记（xx）是 NULL，这道题永远不会出现在新题练习中"));
    else if (*q.xx != 0 && *q.xx != 1)
        problems.append(
            QStringLiteral("练习标记 xx 是 %1，应当是 0 或 1，这道题永远不会出现在练习中")
                .arg(*q.xx));
    if (const QString seen = repeated(q, record.location); !seen.isEmpty())
        problems.append(seen);
    return problems;
}

QString Checker::repeated(const bank::Question &q, qint64 location)
{
    if (!q.tm || q.tm->trimmed().isEmpty())
        return QString();
    const size_t key = qHash(*q.tm);
    const auto seen = m_texts.constFind(key);
    if (seen == m_texts.constEnd()) {
        m_texts.insert(key, location);
        return QString();
    }
    return QStringLiteral("题目与%1的相同").arg(m_source.describeLocation(seen.value()));
}

void Stats::add(const bank::Question &question)
{
    ++total;
    if (question.xx == 1)
        ++practised;
    else if (question.xx == 0)
        ++fresh;
    else
        ++otherFlags;
    if (isAnswerLetter(question.da))
        ++answers[question.da->at(0).unicode() - u'A'];
    else
        ++otherAnswers;
}

} // namespace authoring

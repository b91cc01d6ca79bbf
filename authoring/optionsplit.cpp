#include "authoring/optionsplit.h"

namespace authoring {

namespace {

bool isLetter(QChar c, int letter)
{
    return c == QChar(u'A' + letter) || c == QChar(u'Ａ' + letter);
}

bool isLatinOrDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') ||
           (u >= u'０' && u <= u'９') || (u >= u'Ａ' && u <= u'Ｚ') || (u >= u'ａ' && u <= u'ｚ');
}

// The length of the marker of option `letter` (0 for A) at `at`, or 0 when
// there is none there.
qsizetype markerAt(const QString &text, qsizetype at, int letter, bool strict)
{
    const QChar before = at > 0 ? text.at(at - 1) : QChar(u' ');
    // "U.S.A." and "B.C." are words, not options.
    if (before == u'.' || (strict ? before.isLetterOrNumber() : isLatinOrDigit(before)))
        return 0;
    const qsizetype size = text.size();
    qsizetype i = at;
    const QChar first = text.at(i);
    if (first == u'(' || first == u'（') {
        ++i;
        while (i < size && text.at(i).isSpace())
            ++i;
        if (i == size || !isLetter(text.at(i), letter))
            return 0;
        ++i;
        while (i < size && text.at(i).isSpace())
            ++i;
        if (i == size || (text.at(i) != u')' && text.at(i) != u'）'))
            return 0;
        return i + 1 - at;
    }
    // "(A)" is read whole from its opening bracket.
    if (!isLetter(first, letter) || i + 1 == size || before == u'(' || before == u'（')
        return 0;
    static const QString kPunctuation = QStringLiteral(".．、:：)）");
    return kPunctuation.contains(text.at(i + 1)) ? 2 : 0;
}

// Where the marker of `letter` is found at or after `from`, and its length.
std::optional<std::pair<qsizetype, qsizetype>> findMarker(const QString &text, qsizetype from,
                                                          int letter, bool strict)
{
    for (qsizetype i = from; i < text.size(); ++i) {
        if (const qsizetype length = markerAt(text, i, letter, strict))
            return std::pair{i, length};
    }
    return std::nullopt;
}

std::optional<SplitText> split(const QString &text, bool strict)
{
    // Start and end of each option's text.
    QList<std::pair<qsizetype, qsizetype>> spans;
    qsizetype before = -1;
    qsizetype from = 0;
    for (int letter = 0; letter < 5; ++letter) {
        const auto marker = findMarker(text, from, letter, strict);
        if (!marker)
            break;
        if (letter == 4)
            return std::nullopt;
        if (spans.isEmpty())
            before = marker->first;
        else
            spans.last().second = marker->first;
        from = marker->first + marker->second;
        spans.append({from, text.size()});
    }
    if (spans.size() < 2)
        return std::nullopt;
    SplitText result;
    result.before = text.left(before).trimmed();
    for (const auto &[start, end] : spans)
        result.options.append(text.mid(start, end - start).trimmed());
    return result;
}

} // namespace

std::optional<SplitText> splitOptions(const QString &text)
{
    if (std::optional<SplitText> result = split(text, true))
        return result;
    return split(text, false);
}

} // namespace authoring

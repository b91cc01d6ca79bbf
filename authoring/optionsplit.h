#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace authoring {

// A run of text cut at its option markers.
struct SplitText
{
    QString before;      // the text before the first marker (a question, or empty), trimmed
    QStringList options; // two to four options, A first, each trimmed
};

// Cuts `text` (one or more lines) into the text before its options and the
// options, as a paper prints them: one to a line, two to a line or all side by
// side ("A．河南、河北  B．湖南、湖北  C．山东、山西  D．广东、广西").
//
// A marker is a letter A to D, ASCII or full-width, written "A." "A．" "A、"
// "A:" "A：" "A)" "A）" "(A)" or "（A）". Markers are taken in order: after
// "A." only a "B" marker cuts, so "A.B超检查" is one option and a letter in a
// later option is text. A marker stands at the start of the text or after a
// character that is neither letter, digit nor "." ("U.S.A." is a word); only
// when that finds fewer than two options is a marker also taken after a
// Chinese character ("A.北京B.上海"), though still not inside a Latin word.
//
// Nothing when fewer than two options are found, or when a fifth marker
// ("E.") follows the fourth: A to D cannot answer that question.
std::optional<SplitText> splitOptions(const QString &text);

} // namespace authoring

#pragma once

#include "authoring/questionsource.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace authoring {

// The fixed parts of a question in the template: the question and its four
// options, each already trimmed.
struct TemplateQuestion
{
    QString stem;
    QString options[4];
};

// The question text as the program shows it: the question, then one line per option.
QString composeQuestion(const TemplateQuestion &parts);

// Trims blanks, the full-width blank U+3000 included, from both ends.
QString trimCell(const QString &cell);

// Takes an answer as written: A to D as they are, a lower-case or full-width
// letter as its capital (with a note); anything else is an error.
void takeAnswer(const QString &written, SourceRecord &record);

// The columns of a table of questions, told from its header row: either the
// bank's own id,tm,da,xx or the authors' template 题干,A,B,C,D,答案.
class Layout
{
public:
    // Nothing, with `error` set, for a header we do not know.
    static std::optional<Layout> fromHeader(const QStringList &header, QString *error);

    // Turns one row of cells into a record; `record.location` is left as it is.
    // A row may be shorter than the header (a sheet leaves empty cells out)
    // when `padShortRows` is set; otherwise that is an error.
    void build(const QStringList &cells, bool padShortRows, SourceRecord &record);

private:
    enum class Kind
    {
        Bank,
        Template
    };
    Kind m_kind = Kind::Bank;
    QList<int> m_columns; // cell index of each field, in the order of the layout
    int m_width = 0;
    qint64 m_position = 0;
};

} // namespace authoring

#pragma once

#include "authoring/questionsource.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace authoring {

// The parts of a question in the template: the question and up to four
// options, each already trimmed; the options not given are empty.
struct TemplateQuestion
{
    QString stem;
    QString options[4];
};

// The question text as the program shows it: the question, then one line per
// option given, up to the last one.
QString composeQuestion(const TemplateQuestion &parts);

// Trims blanks, the full-width blank U+3000 included, from both ends.
QString trimCell(const QString &cell);

// Takes an answer as written: A to D as they are, a lower-case or full-width
// letter as its capital (with a note); anything else is an error.
void takeAnswer(const QString &written, SourceRecord &record);

// Makes `record.question` (already emplaced) into a question from its parts
// as an author wrote them: `answer` and `type` are the cells as they are, the
// type empty where the file has none. Sets the question's text and answer
// and `record.kind`, with notes for what was taken otherwise than written
// (an answer "(B)", an option "A.农业" under A, a question of two or three
// options) and errors for what cannot be drilled.
void settleQuestion(TemplateQuestion parts, const QString &answer, const QString &type,
                    SourceRecord &record);

// The columns of a table of questions, told from its header row: either the
// bank's own id,tm,da,xx or an author's stem, options and answer under the
// names authors give them.
class Layout
{
public:
    // Nothing, with `error` set, for a header we do not know.
    static std::optional<Layout> fromHeader(const QStringList &header, QString *error);

    // Turns one row of cells into a record; `record.location` is left as it is.
    // A row may be shorter than the header (a sheet leaves empty cells out)
    // when `padShortRows` is set; otherwise that is an error.
    void build(const QStringList &cells, bool padShortRows, SourceRecord &record);

    // The columns of the header that are not read, as "未导入的列：解析、来源";
    // nothing when every column is read.
    QStringList remarks() const;

private:
    enum class Kind
    {
        Bank,
        Template
    };
    Kind m_kind = Kind::Bank;
    // Cell index of each field: id, tm, da, xx for a bank; stem, A to E,
    // answer and type for the template; -1 for a field the header lacks.
    QList<int> m_columns;
    QStringList m_unread;
    int m_width = 0;
    qint64 m_position = 0;
};

} // namespace authoring

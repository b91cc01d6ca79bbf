#pragma once

#include "bank/question.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace authoring {

// The kinds of file a bank can be made from.
enum class Format
{
    Csv,
    Tsv,
    Xlsx,
    Xls,  // Excel 97-2003
    Ods,  // OpenDocument spreadsheet
    Docx, // Word: paragraphs as the text template, or a table of questions
    Text,
    Legacy,
    Bank // a bank of this program, read as it is
};

// How a text format is decoded; Auto lets a BOM decide, then UTF-8 if the
// bytes are valid UTF-8, else GB18030.
enum class Encoding
{
    Auto,
    Utf8,
    Utf16,
    Gb18030
};

// The kinds of question authors keep. Only single-answer and true-or-false
// questions can be drilled with the program's one answer button.
enum class QuestionKind
{
    Single,
    TrueFalse,
    Multiple,
    FillIn,
    Essay
};

// "单选", "判断", "多选", "填空", "简答".
QString kindName(QuestionKind kind);
inline bool isUsable(QuestionKind kind)
{
    return kind == QuestionKind::Single || kind == QuestionKind::TrueFalse;
}

// One record as read from an author's file.
struct SourceRecord
{
    // Where the record starts: the line of a text file or the row of a sheet,
    // counting from 1; for a legacy bank, the row's position in store order.
    qint64 location = 0;
    // Empty when the record is bad; `errors` then says why.
    std::optional<bank::Question> question;
    // Faults that keep the record out of a bank.
    QStringList errors;
    // What was changed or is worth knowing (an answer "b" taken as "B");
    // the record is still good.
    QStringList notes;
    // As the file says or the answer shows; a kind that is not usable comes
    // with an error saying so.
    QuestionKind kind = QuestionKind::Single;
};

// Reads the questions of one file, a record at a time, so that a file of any
// size takes little memory.
class QuestionSource
{
public:
    virtual ~QuestionSource() = default;

    virtual Format format() const = 0;
    // The place of a record in words, for messages ("第 12 行").
    virtual QString describeLocation(qint64 location) const = 0;

    // Fills `record` with the next record; returns false at the end of the
    // file, or when the file itself cannot be read further (then `error()`
    // says why).
    virtual bool next(SourceRecord &record) = 0;
    virtual QString error() const = 0;
    // What is worth knowing about the file as a whole once it is open: the
    // sheet read, the columns left out.
    virtual QStringList remarks() const { return {}; }

    // For progress: how far through the file the reading is, and its size;
    // 0 for a size not known.
    virtual qint64 bytesRead() const = 0;
    virtual qint64 totalBytes() const = 0;

    // What a check of the file as a whole finds besides its records: SQLite's
    // integrity check for a bank; nothing for an author's file.
    virtual QStringList integrityProblems() { return {}; }
};

struct SourceOptions
{
    std::optional<Format> format;       // told from the file when not given
    Encoding encoding = Encoding::Auto; // for the text formats
    QString legacyPassword;             // for a legacy bank; the program's when empty
    // --sheet NAME|N; empty: the first visible sheet whose first row is a question header
    QString sheet;
};

// Opens `path` as a source of questions, telling its format from its content
// (a zip is a workbook, a Jet header a legacy bank, an SQLite header a bank)
// or else from its extension. Returns nothing, with `error` set, when the file cannot be opened
// or its header row is not one we know.
std::unique_ptr<QuestionSource> openSource(const QString &path, const SourceOptions &options,
                                           QString *error);

// The format of `path` as openSource would take it, or nothing (with `error`
// set) when neither its content nor its extension tells.
std::optional<Format> detectFormat(const QString &path, QString *error);

} // namespace authoring

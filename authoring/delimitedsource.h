#pragma once

#include "authoring/layout.h"
#include "authoring/questionsource.h"
#include "authoring/textinput.h"

#include <QStringList>

namespace authoring {

// Splits decoded text into records of fields: RFC 4180 quoting, with the
// separator given (a comma for CSV, a tab for TSV). CR LF, LF and a lone CR
// each end a record and count as one line.
class DelimitedReader
{
public:
    DelimitedReader(TextInput &input, QChar separator) : m_input(input), m_separator(separator) {}

    // Reads the next record; false at the end of the text. A record that
    // cannot be split sets recordError(); when the rest of the text cannot be
    // split either, it is the last.
    bool readRecord(QStringList &fields);
    qint64 recordLine() const { return m_recordLine; }
    QString recordError() const { return m_recordError; }

private:
    enum class Parse
    {
        Done,
        NeedMore
    };
    Parse parse(QStringList &fields);

    TextInput &m_input;
    QChar m_separator;
    QString m_buffer;
    qsizetype m_pos = 0;
    qint64 m_line = 1;
    qint64 m_recordLine = 0;
    QString m_recordError;
    bool m_finished = false;
};

class DelimitedSource : public QuestionSource
{
public:
    DelimitedSource(Format format) : m_format(format) {}

    // Reads the header row; false with `error` set when it is missing or unknown.
    bool open(const QString &path, Encoding encoding, QString *error);

    Format format() const override { return m_format; }
    QString describeLocation(qint64 location) const override;
    bool next(SourceRecord &record) override;
    QString error() const override { return m_input.error(); }
    QStringList remarks() const override { return m_layout->remarks(); }
    qint64 bytesRead() const override { return m_input.bytesRead(); }
    qint64 totalBytes() const override { return m_input.totalBytes(); }

private:
    bool readNonBlank(QStringList &fields);

    Format m_format;
    TextInput m_input;
    std::optional<DelimitedReader> m_reader;
    std::optional<Layout> m_layout;
    QStringList m_fields;
};

} // namespace authoring

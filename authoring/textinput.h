#pragma once

#include "authoring/questionsource.h"

#include <QFile>
#include <QString>
#include <QStringDecoder>

namespace authoring {

// Decodes a text file a chunk at a time. Without a named encoding a byte order
// mark decides; a file without one is UTF-8 when all of it is valid UTF-8
// (checked in a first pass that keeps nothing), else GB18030, the superset of
// the GBK that Excel writes on Chinese Windows.
class TextInput
{
public:
    bool open(const QString &path, Encoding encoding, QString *error);

    // Appends the next chunk of text to `buffer`; false once the file is
    // used up or cannot be read (then error() says why).
    bool readMore(QString &buffer);
    bool atEnd() const { return m_atEnd; }
    QString error() const { return m_error; }

    qint64 bytesRead() const { return m_file.pos(); }
    qint64 totalBytes() const { return m_file.size(); }

private:
    QFile m_file;
    QStringDecoder m_decoder;
    QString m_encodingName;
    bool m_atEnd = false;
    QString m_error;
};

// Splits decoded text into lines, counting CR LF, LF and a lone CR alike.
class LineReader
{
public:
    explicit LineReader(TextInput &input) : m_input(input) {}

    // The next line without its line end; false at the end of the text.
    bool readLine(QString &line);
    // The number of the line last read, from 1.
    qint64 lineNumber() const { return m_line; }

private:
    TextInput &m_input;
    QString m_buffer;
    qsizetype m_pos = 0;
    qint64 m_line = 0;
};

} // namespace authoring

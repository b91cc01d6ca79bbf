#pragma once

#include "authoring/questionsource.h"

#include <QByteArrayView>
#include <QFile>
#include <QString>
#include <QStringDecoder>

#include <memory>

#ifdef Q_OS_WIN
struct UConverter;
#endif

namespace authoring {

// The byte encodings a text file is decoded from.
enum class TextEncoding
{
    Utf8,
    Utf16LE,
    Utf16BE,
    Gb18030
};

// Checks, a chunk at a time, that bytes are whole and valid characters of one
// encoding: the decoders turn a bad sequence into U+FFFD or drop it without a
// word. Counts line ends as the line readers do (CR LF, LF and a lone CR each
// end one line) so that a fault is named by its line.
class ByteChecker
{
public:
    explicit ByteChecker(TextEncoding encoding) : m_encoding(encoding) {}

    // False at the first bad sequence; line() and fault() then say where and what.
    bool feed(QByteArrayView bytes);
    // False when the bytes end inside a character.
    bool finish();

    // The line the bad sequence starts on, from 1.
    qint64 line() const { return m_lineEnds + 1; }
    QString fault() const { return m_fault; }

private:
    bool feedUtf8(QByteArrayView bytes);
    bool feedGb18030(QByteArrayView bytes);
    bool feedUtf16(QByteArrayView bytes);
    void passCharacter(char16_t c);
    bool reject(const QString &fault);
    QString pendingHex() const;
    char16_t unitAt(int offset) const; // UTF-16: the unit at m_pending[offset]

    TextEncoding m_encoding;
    unsigned char m_pending[4] = {}; // the bytes of the character being read
    int m_have = 0;
    int m_need = 0;                      // UTF-8: the length of the character
    unsigned char m_low = 0, m_high = 0; // UTF-8: the range of its next byte
    qint64 m_lineEnds = 0;
    bool m_afterCr = false;
    QString m_fault;
};

// Decodes a text file a chunk at a time. Without a named encoding a byte order
// mark decides; a file without one is UTF-8 when all of it is valid UTF-8, else
// GB18030 (the superset of the GBK that Excel writes on Chinese Windows) when
// all of it is valid GB18030, else refused. Any invalid or cut-off character
// is an error naming its line, never a silent U+FFFD.
class TextInput
{
public:
    static constexpr qint64 kDefaultChunkSize = 1 << 20;

    explicit TextInput(qint64 chunkSize = kDefaultChunkSize) : m_chunkSize(chunkSize) {}

    bool open(const QString &path, Encoding encoding, QString *error);

    // Appends the next chunk of text to `buffer`; false once the file is
    // used up or cannot be read (then error() says why).
    bool readMore(QString &buffer);
    bool atEnd() const { return m_atEnd; }
    QString error() const { return m_error; }
    QString path() const { return m_file.fileName(); }

    qint64 bytesRead() const { return m_file.pos(); }
    qint64 totalBytes() const { return m_file.size(); }

private:
    bool readChunk(QByteArray &chunk);
#ifdef Q_OS_WIN
    bool decodeGb18030(const QByteArray &chunk, QString &buffer);
#endif
    bool checkWhole(ByteChecker &checker);
    std::optional<TextEncoding> guess(QString *error);

    qint64 m_chunkSize;
    QFile m_file;
    QStringDecoder m_decoder;
#ifdef Q_OS_WIN
    // Qt for Windows is built without ICU and so has no GB18030: ICU's own
    // converter decodes it there.
    struct CloseConverter
    {
        void operator()(UConverter *converter) const;
    };
    std::unique_ptr<UConverter, CloseConverter> m_gb18030;
#endif
    ByteChecker m_checker{TextEncoding::Utf8};
    QString m_encodingName;
    bool m_atEnd = false;
    QString m_error;
};

// Splits decoded text into lines, counting CR LF, LF and a lone CR alike.
class LineReader
{
public:
    // A longer line is refused rather than read on into memory without end.
    static constexpr qsizetype kMaxLineChars = 16 * 1024 * 1024;

    explicit LineReader(TextInput &input) : m_input(input) {}

    // The next line without its line end; false at the end of the text or
    // when it cannot be read (then error() says why).
    bool readLine(QString &line);
    // The number of the line last read, from 1.
    qint64 lineNumber() const { return m_line; }
    QString error() const { return m_error.isEmpty() ? m_input.error() : m_error; }

private:
    TextInput &m_input;
    QString m_buffer;
    qsizetype m_pos = 0;  // where the next line starts
    qsizetype m_scan = 0; // how far the search for its end has gone
    qint64 m_line = 0;
    QString m_error;
};

} // namespace authoring

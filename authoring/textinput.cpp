#include "authoring/textinput.h"

#ifdef Q_OS_WIN
#include <unicode/ucnv.h>
#endif

namespace authoring {

namespace {

QString encodingName(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case TextEncoding::Utf16LE:
        return QStringLiteral("UTF-16LE");
    case TextEncoding::Utf16BE:
        return QStringLiteral("UTF-16BE");
    case TextEncoding::Gb18030:
        break;
    }
    return QStringLiteral("GB18030");
}

bool isSurrogate(char16_t unit, char16_t first)
{
    return unit >= first && unit < first + 0x400;
}

QString loneSurrogate(char16_t unit)
{
    return QStringLiteral("有不成对的代理项 U+%1").arg(QString::number(unit, 16).toUpper());
}

} // namespace

bool ByteChecker::feed(QByteArrayView bytes)
{
    switch (m_encoding) {
    case TextEncoding::Utf8:
        return feedUtf8(bytes);
    case TextEncoding::Gb18030:
        return feedGb18030(bytes);
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE:
        break;
    }
    return feedUtf16(bytes);
}

bool ByteChecker::finish()
{
    if (m_have == 0)
        return true;
    const bool utf16 = m_encoding == TextEncoding::Utf16LE || m_encoding == TextEncoding::Utf16BE;
    // A whole UTF-16 unit left over is a high surrogate without its low one.
    if (utf16 && m_have == 2)
        return reject(loneSurrogate(unitAt(0)));
    return reject(QStringLiteral("文件末尾的字节序列 %1 不完整").arg(pendingHex()));
}

// The well-formed sequences of the Unicode standard (table 3-7): no overlong
// forms, no surrogates, nothing above U+10FFFF.
bool ByteChecker::feedUtf8(QByteArrayView bytes)
{
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size; ++i) {
        const unsigned char b = data[i];
        if (m_have == 0) {
            if (b < 0x80) {
                passCharacter(b);
                continue;
            }
            m_need = b >= 0xC2 && b <= 0xDF   ? 2
                     : b >= 0xE0 && b <= 0xEF ? 3
                     : b >= 0xF0 && b <= 0xF4 ? 4
                                              : 0;
            m_low = b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
            m_high = b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
            // A whole character within the chunk, the usual case, is checked in place;
            // anything else goes byte by byte, so that a fault names its bytes.
            if (m_need && i + m_need <= size && data[i + 1] >= m_low && data[i + 1] <= m_high) {
                int k = 2;
                while (k < m_need && data[i + k] >= 0x80 && data[i + k] <= 0xBF)
                    ++k;
                if (k == m_need) {
                    i += m_need - 1;
                    passCharacter(0);
                    continue;
                }
            }
            m_pending[m_have++] = b;
            if (m_need == 0)
                return reject(QStringLiteral("有无效的字节序列 %1").arg(pendingHex()));
            continue;
        }
        m_pending[m_have++] = b;
        if (b < m_low || b > m_high)
            return reject(QStringLiteral("有无效的字节序列 %1").arg(pendingHex()));
        m_low = 0x80;
        m_high = 0xBF;
        if (m_have == m_need) {
            m_have = 0;
            passCharacter(0);
        }
    }
    return true;
}

// One byte 00-7F; two bytes 81-FE then 40-7E or 80-FE; four bytes 81-FE 30-39
// 81-FE 30-39 that stand for U+0080 to U+FFFF or U+10000 to U+10FFFF.
bool ByteChecker::feedGb18030(QByteArrayView bytes)
{
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        if (m_have == 0 && b < 0x80) {
            passCharacter(b);
            continue;
        }
        m_pending[m_have++] = b;
        bool valid = true;
        bool complete = false;
        switch (m_have) {
        case 1:
            valid = b != 0x80 && b != 0xFF;
            break;
        case 2:
            complete = b >= 0x40 && b <= 0xFE && b != 0x7F;
            valid = complete || (b >= 0x30 && b <= 0x39);
            break;
        case 3:
            valid = b >= 0x81 && b <= 0xFE;
            break;
        default: {
            const int index = ((m_pending[0] - 0x81) * 10 + (m_pending[1] - 0x30)) * 1260 +
                              (m_pending[2] - 0x81) * 10 + (b - 0x30);
            // 39420 four-byte codes cover the rest of the BMP; the planes above
            // start at code 189000.
            valid = b >= 0x30 && b <= 0x39 &&
                    (index < 39420 || (index >= 189000 && index < 189000 + 0x100000));
            complete = true;
        }
        }
        if (!valid)
            return reject(QStringLiteral("有无效的字节序列 %1").arg(pendingHex()));
        if (complete) {
            m_have = 0;
            passCharacter(0);
        }
    }
    return true;
}

bool ByteChecker::feedUtf16(QByteArrayView bytes)
{
    for (const char byte : bytes) {
        m_pending[m_have++] = static_cast<unsigned char>(byte);
        if (m_have % 2)
            continue;
        const char16_t unit = unitAt(m_have - 2);
        if (m_have == 4) {
            // The unit after a high surrogate must be the low one that pairs with it.
            if (!isSurrogate(unit, 0xDC00))
                return reject(loneSurrogate(unitAt(0)));
            m_have = 0;
            passCharacter(0);
        } else if (isSurrogate(unit, 0xDC00)) {
            return reject(loneSurrogate(unit));
        } else if (!isSurrogate(unit, 0xD800)) {
            m_have = 0;
            passCharacter(unit);
        }
    }
    return true;
}

void ByteChecker::passCharacter(char16_t c)
{
    if (c == u'\r' || (c == u'\n' && !m_afterCr))
        ++m_lineEnds;
    m_afterCr = c == u'\r';
}

bool ByteChecker::reject(const QString &fault)
{
    m_fault = fault;
    return false;
}

QString ByteChecker::pendingHex() const
{
    const QByteArray bytes(reinterpret_cast<const char *>(m_pending), m_have);
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

char16_t ByteChecker::unitAt(int offset) const
{
    const unsigned char first = m_pending[offset];
    const unsigned char second = m_pending[offset + 1];
    return m_encoding == TextEncoding::Utf16LE ? first | second << 8 : first << 8 | second;
}

bool TextInput::open(const QString &path, Encoding encoding, QString *error)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("无法读取 %1：%2").arg(path, m_file.errorString());
        return false;
    }
    const QByteArray head = m_file.peek(3);
    qint64 skip = 0;
    std::optional<TextEncoding> chosen;
    if (head.startsWith("\xEF\xBB\xBF")) {
        chosen = TextEncoding::Utf8;
        skip = 3;
    } else if (head.startsWith("\xFF\xFE")) {
        chosen = TextEncoding::Utf16LE;
        skip = 2;
    } else if (head.startsWith("\xFE\xFF")) {
        chosen = TextEncoding::Utf16BE;
        skip = 2;
    }

    switch (encoding) {
    case Encoding::Auto:
        if (!chosen) {
            chosen = guess(error);
            if (!chosen)
                return false;
        }
        break;
    case Encoding::Utf8:
        chosen = TextEncoding::Utf8;
        skip = head.startsWith("\xEF\xBB\xBF") ? 3 : 0;
        break;
    case Encoding::Utf16:
        // Without a byte order mark, the little-endian order Windows writes.
        if (chosen != TextEncoding::Utf16BE)
            chosen = TextEncoding::Utf16LE;
        skip = (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF")) ? 2 : 0;
        break;
    case Encoding::Gb18030:
        chosen = TextEncoding::Gb18030;
        skip = 0;
        break;
    }

    switch (*chosen) {
    case TextEncoding::Utf8:
        m_decoder = QStringDecoder(QStringConverter::Utf8);
        break;
    case TextEncoding::Utf16LE:
        m_decoder = QStringDecoder(QStringConverter::Utf16LE);
        break;
    case TextEncoding::Utf16BE:
        m_decoder = QStringDecoder(QStringConverter::Utf16BE);
        break;
    case TextEncoding::Gb18030:
#ifdef Q_OS_WIN
    {
        UErrorCode status = U_ZERO_ERROR;
        m_gb18030.reset(ucnv_open("gb18030", &status));
        // Bytes it cannot take stop it: the checker has let none through.
        if (U_SUCCESS(status))
            ucnv_setToUCallBack(m_gb18030.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                                &status);
        if (U_FAILURE(status)) {
            *error = QStringLiteral("无法解码 GB18030：%1").arg(QLatin1String(u_errorName(status)));
            return false;
        }
        break;
    }
#else
        m_decoder = QStringDecoder("GB18030");
        if (!m_decoder.isValid()) {
            *error = QStringLiteral("这台机器的 Qt 不能解码 GB18030");
            return false;
        }
        break;
#endif
    }
    m_checker = ByteChecker(*chosen);
    m_encodingName = encodingName(*chosen);
    m_file.seek(skip);
    m_atEnd = m_file.atEnd();
    return true;
}

bool TextInput::readChunk(QByteArray &chunk)
{
    chunk = m_file.read(m_chunkSize);
    if (chunk.isEmpty() && !m_file.atEnd())
        m_error = QStringLiteral("读取 %1 时出错：%2").arg(m_file.fileName(), m_file.errorString());
    return !chunk.isEmpty();
}

// Feeds the whole file to `checker`, keeping nothing.
bool TextInput::checkWhole(ByteChecker &checker)
{
    m_file.seek(0);
    QByteArray chunk;
    while (readChunk(chunk)) {
        if (!checker.feed(chunk))
            return false;
    }
    return m_error.isEmpty() && checker.finish();
}

std::optional<TextEncoding> TextInput::guess(QString *error)
{
    ByteChecker utf8(TextEncoding::Utf8);
    if (checkWhole(utf8))
        return TextEncoding::Utf8;
    ByteChecker gb18030(TextEncoding::Gb18030);
    if (m_error.isEmpty() && checkWhole(gb18030))
        return TextEncoding::Gb18030;
    if (!m_error.isEmpty()) {
        *error = m_error;
        return std::nullopt;
    }
    const auto verdict = [](TextEncoding encoding, const ByteChecker &checker) {
        return QStringLiteral("%1 文本（第 %2 行：%3）")
            .arg(encodingName(encoding), QString::number(checker.line()), checker.fault());
    };
    QString verdicts[] = {verdict(TextEncoding::Utf8, utf8),
                          verdict(TextEncoding::Gb18030, gb18030)};
    // The encoding that held out longer is more likely the one meant: it goes first.
    if (gb18030.line() > utf8.line())
        std::swap(verdicts[0], verdicts[1]);
    *error = QStringLiteral("%1 不是有效的 %2，也不是有效的 %3；可以用 --encoding 指定编码")
                 .arg(m_file.fileName(), verdicts[0], verdicts[1]);
    return std::nullopt;
}

bool TextInput::readMore(QString &buffer)
{
    if (m_atEnd)
        return false;
    QByteArray chunk;
    if (!readChunk(chunk)) {
        m_atEnd = true;
        return false;
    }
    m_atEnd = m_file.atEnd();
    if (!m_checker.feed(chunk) || (m_atEnd && !m_checker.finish())) {
        m_error = QStringLiteral("%1 第 %2 行不是有效的 %3 文本：%4；可以用 --encoding 指定编码")
                      .arg(m_file.fileName(), QString::number(m_checker.line()), m_encodingName,
                           m_checker.fault());
        m_atEnd = true;
        return false;
    }
#ifdef Q_OS_WIN
    if (m_gb18030)
        return decodeGb18030(chunk, buffer);
#endif
    const qsizetype used = buffer.size();
    buffer.resize(used + m_decoder.requiredSpace(chunk.size()));
    QChar *end = m_decoder.appendToBuffer(buffer.data() + used, chunk);
    if (m_atEnd)
        end = m_decoder.appendToBuffer(end, QByteArrayView());
    buffer.truncate(end - buffer.constData());
    // The decoder's own verdict, should its tables differ from the bytes checked above.
    if (m_decoder.hasError()) {
        m_error = QStringLiteral("%1 不是有效的 %2 文本；可以用 --encoding 指定编码")
                      .arg(m_file.fileName(), m_encodingName);
        m_atEnd = true;
        return false;
    }
    return true;
}

#ifdef Q_OS_WIN
void TextInput::CloseConverter::operator()(UConverter *converter) const
{
    ucnv_close(converter);
}

bool TextInput::decodeGb18030(const QByteArray &chunk, QString &buffer)
{
    // A GB18030 character gives one UTF-16 unit per byte at most; the
    // converter keeps one cut off at the chunk's end for the next.
    const qsizetype used = buffer.size();
    buffer.resize(used + chunk.size() + 4);
    auto *target = reinterpret_cast<UChar *>(buffer.data() + used);
    const char *source = chunk.constData();
    UErrorCode status = U_ZERO_ERROR;
    ucnv_toUnicode(m_gb18030.get(), &target, target + chunk.size() + 4, &source,
                   source + chunk.size(), nullptr, m_atEnd, &status);
    buffer.truncate(reinterpret_cast<QChar *>(target) - buffer.constData());
    if (U_FAILURE(status)) {
        m_error = QStringLiteral("%1 不是有效的 %2 文本；可以用 --encoding 指定编码")
                      .arg(m_file.fileName(), m_encodingName);
        m_atEnd = true;
        return false;
    }
    return true;
}
#endif

bool LineReader::readLine(QString &line)
{
    while (true) {
        const QChar *begin = m_buffer.constData();
        const qsizetype size = m_buffer.size();
        qsizetype i = m_scan;
        while (i < size && begin[i] != u'\n' && begin[i] != u'\r')
            ++i;
        m_scan = i;
        if (i - m_pos > kMaxLineChars) {
            m_error = QStringLiteral("%1 第 %2 行超过 1600 万个字符，文件可能不是文本模板")
                          .arg(m_input.path(), QString::number(m_line + 1));
            return false;
        }
        // A CR at the end of the buffer may be the first half of CR LF.
        const bool complete = i < size && (begin[i] == u'\n' || i + 1 < size || m_input.atEnd());
        if (complete || (i == size && m_input.atEnd() && m_pos < size)) {
            line = m_buffer.mid(m_pos, i - m_pos);
            if (i < size && begin[i] == u'\r' && i + 1 < size && begin[i + 1] == u'\n')
                ++i;
            m_pos = i < size ? i + 1 : i;
            m_scan = m_pos;
            ++m_line;
            return true;
        }
        if (m_input.atEnd())
            return false;
        m_buffer.remove(0, m_pos);
        m_scan -= m_pos;
        m_pos = 0;
        if (!m_input.readMore(m_buffer) && !m_input.error().isEmpty())
            return false;
    }
}

} // namespace authoring

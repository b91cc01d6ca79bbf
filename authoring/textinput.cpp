#include "authoring/textinput.h"

#include <QFileInfo>

namespace authoring {

namespace {

constexpr qint64 kChunkSize = 1 << 20;

bool validUtf8(QFile &file)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString scratch;
    while (!file.atEnd()) {
        const QByteArray chunk = file.read(kChunkSize);
        if (chunk.isEmpty())
            break;
        scratch.resize(decoder.requiredSpace(chunk.size()));
        decoder.appendToBuffer(scratch.data(), chunk);
        if (decoder.hasError())
            return false;
    }
    // A sequence cut off at the end of the file is not valid either.
    scratch.resize(decoder.requiredSpace(0));
    decoder.appendToBuffer(scratch.data(), QByteArrayView());
    return !decoder.hasError();
}

} // namespace

bool TextInput::open(const QString &path, Encoding encoding, QString *error)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("无法读取 %1：%2").arg(path, m_file.errorString());
        return false;
    }
    const QByteArray head = m_file.peek(3);
    qint64 skip = 0;
    std::optional<QStringConverter::Encoding> chosen;
    if (head.startsWith("\xEF\xBB\xBF")) {
        chosen = QStringConverter::Utf8;
        skip = 3;
    } else if (head.startsWith("\xFF\xFE")) {
        chosen = QStringConverter::Utf16LE;
        skip = 2;
    } else if (head.startsWith("\xFE\xFF")) {
        chosen = QStringConverter::Utf16BE;
        skip = 2;
    }

    switch (encoding) {
    case Encoding::Auto:
        if (!chosen) {
            const bool utf8 = validUtf8(m_file);
            m_file.seek(0);
            if (utf8)
                chosen = QStringConverter::Utf8;
        }
        break;
    case Encoding::Utf8:
        chosen = QStringConverter::Utf8;
        skip = head.startsWith("\xEF\xBB\xBF") ? 3 : 0;
        break;
    case Encoding::Utf16:
        // Without a byte order mark, the little-endian order Windows writes.
        if (chosen != QStringConverter::Utf16BE)
            chosen = QStringConverter::Utf16LE;
        skip = (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF")) ? 2 : 0;
        break;
    case Encoding::Gb18030:
        chosen.reset();
        skip = 0;
        break;
    }

    if (chosen) {
        m_decoder = QStringDecoder(*chosen);
        m_encodingName = QString::fromLatin1(QStringConverter::nameForEncoding(*chosen));
    } else {
        m_decoder = QStringDecoder("GB18030");
        m_encodingName = QStringLiteral("GB18030");
        if (!m_decoder.isValid()) {
            *error = QStringLiteral("这台机器的 Qt 不能解码 GB18030");
            return false;
        }
    }
    m_file.seek(skip);
    m_atEnd = m_file.atEnd();
    return true;
}

bool TextInput::readMore(QString &buffer)
{
    if (m_atEnd)
        return false;
    const QByteArray chunk = m_file.read(kChunkSize);
    if (chunk.isEmpty() && !m_file.atEnd()) {
        m_error = QStringLiteral("读取 %1 时出错：%2").arg(m_file.fileName(), m_file.errorString());
        m_atEnd = true;
        return false;
    }
    m_atEnd = m_file.atEnd();
    const qsizetype used = buffer.size();
    buffer.resize(used + m_decoder.requiredSpace(chunk.size()));
    QChar *end = m_decoder.appendToBuffer(buffer.data() + used, chunk);
    if (m_atEnd)
        end = m_decoder.appendToBuffer(end, QByteArrayView());
    buffer.truncate(end - buffer.constData());
    if (m_decoder.hasError()) {
        m_error = QStringLiteral("%1 不是有效的 %2 文本（可以用 --encoding 指定编码）")
                      .arg(QFileInfo(m_file.fileName()).fileName(), m_encodingName);
        m_atEnd = true;
        return false;
    }
    return true;
}

bool LineReader::readLine(QString &line)
{
    while (true) {
        const QChar *begin = m_buffer.constData();
        const qsizetype size = m_buffer.size();
        qsizetype i = m_pos;
        while (i < size && begin[i] != u'\n' && begin[i] != u'\r')
            ++i;
        // A CR at the end of the buffer may be the first half of CR LF.
        const bool complete = i < size && (begin[i] == u'\n' || i + 1 < size || m_input.atEnd());
        if (complete || (i == size && m_input.atEnd() && m_pos < size)) {
            line = m_buffer.mid(m_pos, i - m_pos);
            if (i < size && begin[i] == u'\r' && i + 1 < size && begin[i + 1] == u'\n')
                ++i;
            m_pos = i < size ? i + 1 : i;
            ++m_line;
            return true;
        }
        if (m_input.atEnd())
            return false;
        m_buffer.remove(0, m_pos);
        m_pos = 0;
        if (!m_input.readMore(m_buffer) && m_buffer.isEmpty())
            return false;
    }
}

} // namespace authoring

#include "authoring/xmlstream.h"

#include <cstring>
#include <new>

namespace authoring {

namespace {

constexpr char kSeparator = '\x01';
constexpr int kChunkBytes = 64 * 1024;
// Office's markup is short: a tag or comment longer than this is not a document's.
constexpr qint64 kMaxMarkupBytes = qint64(4) << 20;

} // namespace

XmlStream::~XmlStream()
{
    if (m_parser)
        XML_ParserFree(m_parser);
}

bool XmlStream::open(const QString &path, const QString &entry, qint64 cap)
{
    m_path = path;
    m_entry = entry;
    if (!m_zip.openEntry(entry, cap)) {
        m_error = m_zip.error();
        return false;
    }
    m_parser = XML_ParserCreateNS(nullptr, kSeparator);
    if (!m_parser)
        throw std::bad_alloc();
    XML_SetUserData(m_parser, this);
    XML_SetElementHandler(m_parser, started, ended);
    XML_SetCharacterDataHandler(m_parser, text);
    XML_SetStartDoctypeDeclHandler(m_parser, doctype);
    return true;
}

void XmlStream::fail(const QString &message)
{
    if (m_error.isEmpty())
        m_error = message;
    XML_StopParser(m_parser, XML_FALSE);
}

bool XmlStream::parseMore()
{
    if (m_done || !m_error.isEmpty())
        return false;
    if (m_sinceEvent > kMaxMarkupBytes) {
        fail(QStringLiteral("%1 中的 %2 第 %3 行有一段超过 %4 的标记或注释，不像是题库")
                 .arg(m_path, m_entry)
                 .arg(XML_GetCurrentLineNumber(m_parser))
                 .arg(sizeInWords(kMaxMarkupBytes)));
        return false;
    }
    void *buffer = XML_GetBuffer(m_parser, kChunkBytes);
    if (!buffer)
        throw std::bad_alloc();
    const qint64 got = m_zip.read(static_cast<char *>(buffer), kChunkBytes);
    if (got < 0) {
        m_error = m_zip.error();
        return false;
    }
    m_sinceEvent += got;
    m_done = got == 0;
    if (XML_ParseBuffer(m_parser, int(got), m_done) == XML_STATUS_ERROR && m_error.isEmpty())
        m_error = QStringLiteral("%1 中的 %2 不是完好的 XML（第 %3 行第 %4 列：%5）")
                      .arg(m_path, m_entry)
                      .arg(XML_GetCurrentLineNumber(m_parser))
                      .arg(XML_GetCurrentColumnNumber(m_parser))
                      .arg(QString::fromUtf8(XML_ErrorString(XML_GetErrorCode(m_parser))));
    return m_error.isEmpty() && !m_done;
}

QByteArrayView XmlStream::localName(const char *name)
{
    const char *separator = std::strrchr(name, kSeparator);
    return QByteArrayView(separator ? separator + 1 : name);
}

bool XmlStream::inNamespace(const char *name, QByteArrayView suffix)
{
    const char *separator = std::strrchr(name, kSeparator);
    return separator && QByteArrayView(name, separator - name).endsWith(suffix);
}

QString XmlStream::attribute(const char **attributes, QByteArrayView local)
{
    for (const char **a = attributes; *a; a += 2) {
        if (localName(*a) == local)
            return QString::fromUtf8(a[1]);
    }
    return QString();
}

void XmlStream::started(void *self, const XML_Char *name, const XML_Char **attributes)
{
    auto *stream = static_cast<XmlStream *>(self);
    stream->m_sinceEvent = 0;
    stream->m_handler.startElement(name, attributes);
}

void XmlStream::ended(void *self, const XML_Char *name)
{
    auto *stream = static_cast<XmlStream *>(self);
    stream->m_sinceEvent = 0;
    stream->m_handler.endElement(name);
}

void XmlStream::text(void *self, const XML_Char *text, int length)
{
    auto *stream = static_cast<XmlStream *>(self);
    stream->m_sinceEvent = 0;
    stream->m_handler.characters(QByteArrayView(text, length));
}

void XmlStream::doctype(void *self, const XML_Char *, const XML_Char *, const XML_Char *, int)
{
    auto *stream = static_cast<XmlStream *>(self);
    stream->fail(QStringLiteral("%1 中的 %2 含有文档类型定义（DTD），Office 文件里不会有")
                     .arg(stream->m_path, stream->m_entry));
}

} // namespace authoring

#pragma once

#include "authoring/zipreader.h"

#include <QByteArrayView>
#include <QString>

#include <expat.h>

namespace authoring {

// One XML part of a zip package (an .ods, a .docx), parsed by expat as it is
// inflated and handed to a handler. A document type definition is refused
// (its entities could multiply text), and so is markup that runs on without
// an event past a few megabytes. The part ends only once it was inflated to
// its end, found intact, and its XML closed.
class XmlStream
{
public:
    class Handler
    {
    public:
        virtual ~Handler() = default;
        // Names are "namespace\1local", or "local" outside any namespace.
        virtual void startElement(const char *name, const char **attributes) = 0;
        virtual void endElement(const char *name) = 0;
        virtual void characters(QByteArrayView text) = 0;
    };

    XmlStream(ZipReader &zip, Handler &handler) : m_zip(zip), m_handler(handler) {}
    ~XmlStream();
    XmlStream(const XmlStream &) = delete;
    XmlStream &operator=(const XmlStream &) = delete;

    // Starts on `entry` of the package at `path` (for messages).
    bool open(const QString &path, const QString &entry, qint64 cap);
    // Parses the next piece; false once the part is parsed to its end, or on error().
    bool parseMore();
    // Stops the parse; a handler calls it on content it refuses.
    void fail(const QString &message);
    QString error() const { return m_error; }
    QString entry() const { return m_entry; }

    // The local part of a name; whether it is in a namespace ending with `suffix`.
    static QByteArrayView localName(const char *name);
    static bool inNamespace(const char *name, QByteArrayView suffix);
    // The value of the attribute whose local name is `local`, or a null string.
    static QString attribute(const char **attributes, QByteArrayView local);

private:
    static void XMLCALL started(void *self, const XML_Char *name, const XML_Char **attributes);
    static void XMLCALL ended(void *self, const XML_Char *name);
    static void XMLCALL text(void *self, const XML_Char *text, int length);
    static void XMLCALL doctype(void *self, const XML_Char *, const XML_Char *, const XML_Char *,
                                int);

    ZipReader &m_zip;
    Handler &m_handler;
    QString m_path;
    QString m_entry;
    XML_Parser m_parser = nullptr;
    qint64 m_sinceEvent = 0;
    bool m_done = false;
    QString m_error;
};

} // namespace authoring

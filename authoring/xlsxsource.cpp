#include "authoring/xlsxsource.h"

#include <QDir>
#include <QFileInfo>

#include <expat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <new>

namespace authoring {

namespace {

// Limits no real bank comes near, so that a damaged or hostile workbook is
// refused early instead of filling memory or running for minutes.
// workbook.xml and its relationships: a few kilobytes even with many sheets.
constexpr qint64 kMaxWorkbookBytes = qint64(16) << 20;
// styles.xml: a few megabytes even in workbooks with tens of thousands of styles.
constexpr qint64 kMaxStylesBytes = qint64(64) << 20;
// The shared strings are held in memory: 256 MiB of XML is a million long
// questions with their options.
constexpr qint64 kMaxSharedStringsBytes = qint64(256) << 20;
// The sheet is read as it is inflated, so it may be large: a full sheet of
// 1,048,576 rows of questions fits.
constexpr qint64 kMaxSheetBytes = qint64(2) << 30;
// One cell, and one row, as the CSV reader's record: no question is near it.
constexpr qsizetype kMaxCellChars = 16 * 1024 * 1024;
constexpr qsizetype kMaxRowChars = 16 * 1024 * 1024;
// Distinct texts: a full sheet of 1,048,576 rows with 16 of its own each.
constexpr qsizetype kMaxSharedStrings = 16 * 1024 * 1024;
// Markup is held whole by the parser until it ends, and Excel's is short: a
// tag or comment that runs on longer than this is refused.
constexpr qint64 kMaxMarkupBytes = qint64(4) << 20;
// Excel's sheet: columns A to XFD, rows 1 to 1,048,576.
constexpr int kMaxColumns = 16384;
constexpr qint64 kMaxRows = 1048576;
constexpr int kChunkBytes = 64 * 1024;
// Splits an element's namespace from its name in expat's names.
constexpr char kNamespaceSeparator = '\x01';

// The shared strings' UTF-8 is at most 1.5 times their XML (UTF-16 XML of
// CJK text), so 32-bit offsets into it are enough.
static_assert(kMaxSharedStringsBytes * 3 / 2 < qint64(1) << 32);

const char *const kRelationshipsNs =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
// The same in a Strict Open XML workbook, where only the namespaces differ.
const char *const kStrictRelationshipsNs =
    "http://purl.oclc.org/ooxml/officeDocument/relationships";

bool isDigits(QStringView text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

// An unsigned decimal of at most `maxDigits` digits, so that it cannot overflow.
std::optional<qint64> parseCount(QStringView text, int maxDigits)
{
    if (!isDigits(text) || text.size() > maxDigits)
        return std::nullopt;
    return text.toLongLong();
}

// A number as XML Schema writes a double: no blanks, no hexadecimal, no
// infinity, and it must fit in a double.
std::optional<double> parseNumber(const QString &text)
{
    qsizetype i = 0;
    auto digits = [&] {
        const qsizetype start = i;
        while (i < text.size() && text.at(i) >= u'0' && text.at(i) <= u'9')
            ++i;
        return i - start;
    };
    if (i < text.size() && (text.at(i) == u'-' || text.at(i) == u'+'))
        ++i;
    qsizetype mantissa = digits();
    if (i < text.size() && text.at(i) == u'.') {
        ++i;
        mantissa += digits();
    }
    if (!mantissa)
        return std::nullopt;
    if (i < text.size() && (text.at(i) == u'e' || text.at(i) == u'E')) {
        ++i;
        if (i < text.size() && (text.at(i) == u'-' || text.at(i) == u'+'))
            ++i;
        if (!digits())
            return std::nullopt;
    }
    if (i != text.size())
        return std::nullopt;
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// Appends with room to spare: appending alone copies the whole text each time,
// which is quadratic in a text that comes in many pieces.
void appendGrowing(QByteArray &text, QByteArrayView piece)
{
    if (text.capacity() - text.size() < piece.size())
        text.reserve(std::max(2 * text.capacity(), text.size() + piece.size()));
    text.append(piece);
}

// How many UTF-16 code units the UTF-8 `text` makes: one for each byte that
// starts a character, and one more for each of four bytes.
qsizetype utf16Length(QByteArrayView text)
{
    qsizetype length = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        length += (byte & 0xC0) != 0x80;
        length += byte >= 0xF0;
    }
    return length;
}

QString columnName(int column)
{
    QString name;
    for (int n = column + 1; n > 0; n = (n - 1) / 26)
        name.prepend(QChar(u'A' + (n - 1) % 26));
    return name;
}

// A value from the file, cut short for a message.
QString quoted(QStringView text)
{
    constexpr qsizetype kShown = 40;
    return QStringLiteral("“%1”").arg(text.size() > kShown ? text.left(kShown) + u'…'
                                                           : text.toString());
}

// Resolves a relationship target against the folder of the part that names it.
QString entryPath(const QString &folder, const QString &target)
{
    if (target.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(target.mid(1));
    if (folder.isEmpty() || folder == u".")
        return QDir::cleanPath(target);
    return QDir::cleanPath(folder + u'/' + target);
}

} // namespace

// One XML part of the workbook, parsed by expat as it is inflated and handed
// out an event at a time: the start or end of an element, or a piece of text.
// Text comes in pieces as it is inflated, so a cell of a gigabyte is never
// held; markup that runs on without an event (a comment, a tag) is refused
// past kMaxMarkupBytes. The part ends only once it was inflated to its end,
// found intact, and its XML closed.
class XmlPart
{
public:
    XmlPart(ZipReader &zip, const QString &path) : m_zip(zip), m_path(path) {}
    ~XmlPart()
    {
        if (m_parser)
            XML_ParserFree(m_parser);
    }
    XmlPart(const XmlPart &) = delete;
    XmlPart &operator=(const XmlPart &) = delete;

    bool open(const QString &name, qint64 cap);
    // Moves to the next event; false at the end of the part, or on error().
    bool next();

    bool isStartElement() const { return m_event.kind == Kind::StartElement; }
    bool isEndElement() const { return m_event.kind == Kind::EndElement; }
    bool isCharacters() const { return m_event.kind == Kind::Characters; }
    // An element's name without its namespace; a piece of text. Both UTF-8.
    const QByteArray &name() const { return m_event.name; }
    const QByteArray &text() const { return m_event.text; }
    // An attribute of the element just started, without a namespace or in `ns`.
    QString attribute(const char *name, const char *ns = nullptr) const;

    QString error() const { return m_error; }

private:
    enum class Kind
    {
        StartElement,
        EndElement,
        Characters
    };
    struct Event
    {
        Kind kind = Kind::Characters;
        QByteArray name;
        QByteArray text;
        // Each name ("namespace\1name" or "name") and value, each ended by a 0.
        QByteArray attributes;
    };

    static void XMLCALL started(void *self, const XML_Char *name, const XML_Char **attributes);
    static void XMLCALL ended(void *self, const XML_Char *name);
    static void XMLCALL characters(void *self, const XML_Char *text, int length);
    static void XMLCALL doctype(void *self, const XML_Char *, const XML_Char *, const XML_Char *,
                                int);
    void queue(Event &&event);
    bool parseMore();
    bool fail(const QString &message)
    {
        m_error = message;
        return false;
    }

    ZipReader &m_zip;
    QString m_path;
    QString m_name;
    XML_Parser m_parser = nullptr;
    std::deque<Event> m_events;
    Event m_event;
    qint64 m_sinceEvent = 0; // bytes given to the parser since its last event
    QString m_error;
};

bool XmlPart::open(const QString &name, qint64 cap)
{
    m_name = name;
    if (!m_zip.openEntry(name, cap))
        return fail(m_zip.error());
    m_parser = XML_ParserCreateNS(nullptr, kNamespaceSeparator);
    if (!m_parser)
        throw std::bad_alloc();
    XML_SetUserData(m_parser, this);
    XML_SetElementHandler(m_parser, started, ended);
    XML_SetCharacterDataHandler(m_parser, characters);
    XML_SetStartDoctypeDeclHandler(m_parser, doctype);
    return true;
}

QString XmlPart::attribute(const char *name, const char *ns) const
{
    const QByteArray key = ns ? ns + QByteArray(1, kNamespaceSeparator) + name : QByteArray(name);
    const QByteArray &all = m_event.attributes;
    for (qsizetype at = 0; at < all.size();) {
        const qsizetype valueAt = all.indexOf('\0', at) + 1;
        const qsizetype end = all.indexOf('\0', valueAt);
        if (QByteArrayView(all).sliced(at, valueAt - 1 - at) == key)
            return QString::fromUtf8(all.constData() + valueAt, end - valueAt);
        at = end + 1;
    }
    return QString();
}

namespace {

// The local part of an expat name. The names the reader looks for are shared,
// not copied: a sheet has millions of them.
QByteArray localName(const XML_Char *name)
{
    static const QByteArray known[] = {"c", "v", "row", "is", "t", "r", "rPh", "si", "f"};
    const char *separator = std::strrchr(name, kNamespaceSeparator);
    const char *local = separator ? separator + 1 : name;
    for (const QByteArray &candidate : known) {
        if (candidate == local)
            return candidate;
    }
    return QByteArray(local);
}

} // namespace

void XmlPart::started(void *self, const XML_Char *name, const XML_Char **attributes)
{
    Event event;
    event.kind = Kind::StartElement;
    event.name = localName(name);
    for (const XML_Char **a = attributes; *a; ++a)
        event.attributes.append(*a, qsizetype(std::strlen(*a)) + 1);
    static_cast<XmlPart *>(self)->queue(std::move(event));
}

void XmlPart::ended(void *self, const XML_Char *name)
{
    Event event;
    event.kind = Kind::EndElement;
    event.name = localName(name);
    static_cast<XmlPart *>(self)->queue(std::move(event));
}

void XmlPart::characters(void *self, const XML_Char *text, int length)
{
    auto *part = static_cast<XmlPart *>(self);
    // Pieces of one text that come together are handed out as one.
    if (!part->m_events.empty() && part->m_events.back().kind == Kind::Characters) {
        appendGrowing(part->m_events.back().text, QByteArrayView(text, length));
        return;
    }
    Event event;
    event.text = QByteArray(text, length);
    part->queue(std::move(event));
}

void XmlPart::doctype(void *self, const XML_Char *, const XML_Char *, const XML_Char *, int)
{
    // Entities declared in a DTD could multiply text; Excel writes none.
    auto *part = static_cast<XmlPart *>(self);
    part->fail(QStringLiteral("%1 中的 %2 含有文档类型定义（DTD），Excel 工作簿里不会有")
                   .arg(part->m_path, part->m_name));
    XML_StopParser(part->m_parser, XML_FALSE);
}

void XmlPart::queue(Event &&event)
{
    m_events.push_back(std::move(event));
    m_sinceEvent = 0;
    // Pauses the parser, so that the events are handed out as they come.
    XML_ParsingStatus status;
    XML_GetParsingStatus(m_parser, &status);
    if (status.parsing == XML_PARSING)
        XML_StopParser(m_parser, XML_TRUE);
}

bool XmlPart::parseMore()
{
    XML_ParsingStatus status;
    XML_GetParsingStatus(m_parser, &status);
    XML_Status result = XML_STATUS_OK;
    if (status.parsing == XML_SUSPENDED) {
        result = XML_ResumeParser(m_parser);
    } else {
        if (m_sinceEvent > kMaxMarkupBytes)
            return fail(QStringLiteral("%1 中的 %2 第 %3 行有一段超过 %4 的标记或注释，不像是题库")
                            .arg(m_path, m_name)
                            .arg(XML_GetCurrentLineNumber(m_parser))
                            .arg(sizeInWords(kMaxMarkupBytes)));
        void *buffer = XML_GetBuffer(m_parser, kChunkBytes);
        if (!buffer)
            throw std::bad_alloc();
        const qint64 got = m_zip.read(static_cast<char *>(buffer), kChunkBytes);
        if (got < 0)
            return fail(m_zip.error());
        m_sinceEvent += got;
        // The zip's end, reached only when the part is intact, is the XML's end too.
        result = XML_ParseBuffer(m_parser, int(got), got == 0);
    }
    if (result == XML_STATUS_ERROR && m_error.isEmpty()) {
        return fail(QStringLiteral("%1 中的 %2 不是完好的 XML（第 %3 行第 %4 列：%5）")
                        .arg(m_path, m_name)
                        .arg(XML_GetCurrentLineNumber(m_parser))
                        .arg(XML_GetCurrentColumnNumber(m_parser))
                        .arg(QString::fromUtf8(XML_ErrorString(XML_GetErrorCode(m_parser)))));
    }
    return m_error.isEmpty();
}

bool XmlPart::next()
{
    while (m_events.empty()) {
        if (!m_error.isEmpty() || !m_parser)
            return false;
        XML_ParsingStatus status;
        XML_GetParsingStatus(m_parser, &status);
        if (status.parsing == XML_FINISHED || !parseMore())
            return false;
    }
    m_event = std::move(m_events.front());
    m_events.pop_front();
    return true;
}

XlsxSource::XlsxSource() = default;
XlsxSource::~XlsxSource() = default;

QString XlsxSource::decodeEscapes(const QString &text)
{
    if (!text.contains(u"_x"))
        return text;
    auto hex = [](QChar c) {
        const char16_t u = c.unicode();
        return u >= u'0' && u <= u'9'   ? u - u'0'
               : u >= u'A' && u <= u'F' ? u - u'A' + 10
               : u >= u'a' && u <= u'f' ? u - u'a' + 10
                                        : -1;
    };
    QString decoded;
    decoded.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        if (text.at(i) == u'_' && i + 6 < text.size() && text.at(i + 1) == u'x' &&
            text.at(i + 6) == u'_') {
            int code = 0;
            for (qsizetype k = i + 2; k < i + 6 && code >= 0; ++k)
                code = hex(text.at(k)) < 0 ? -1 : code * 16 + hex(text.at(k));
            if (code >= 0) {
                decoded += QChar(char16_t(code));
                i += 7;
                continue;
            }
        }
        decoded += text.at(i++);
    }
    return decoded;
}

std::optional<XlsxSource::CellReference> XlsxSource::parseReference(QStringView reference)
{
    // Four letters are past XFD already and a row has at most seven digits:
    // nothing here can overflow.
    qsizetype i = 0;
    int column = 0;
    while (i < reference.size() && i < 4 && reference.at(i) >= u'A' && reference.at(i) <= u'Z')
        column = column * 26 + (reference.at(i++).unicode() - u'A' + 1);
    if (i == 0 || column > kMaxColumns)
        return std::nullopt;
    const QStringView digits = reference.mid(i);
    const std::optional<qint64> row = parseCount(digits, 7);
    if (!row || digits.startsWith(u'0') || *row < 1 || *row > kMaxRows)
        return std::nullopt;
    return CellReference{column - 1, *row};
}

bool XlsxSource::fail(const QString &message)
{
    m_error = message;
    return false;
}

bool XlsxSource::failAt(const QString &cell, const QString &problem)
{
    return fail(
        QStringLiteral("%1 %2：单元格 %3 %4").arg(m_path, describeLocation(m_row), cell, problem));
}

bool XlsxSource::open(const QString &path, const QString &sheet, QString *error)
{
    m_path = path;
    m_totalBytes = QFileInfo(path).size();
    auto done = [&](bool ok) {
        if (!ok)
            *error = m_error;
        return ok;
    };
    if (!m_zip.open(path))
        return done(fail(m_zip.error()));

    QList<Sheet> sheets;
    QString stringsPath;
    QString stylesPath;
    if (!readWorkbook(&sheets, &stringsPath, &stylesPath))
        return done(false);
    if (!stylesPath.isEmpty() && !readStyles(stylesPath))
        return done(false);
    if (!stringsPath.isEmpty() && !readSharedStrings(stringsPath))
        return done(false);

    QStringList names;
    for (const Sheet &each : std::as_const(sheets))
        names.append(QStringLiteral("“%1”").arg(each.name));
    if (!sheet.isEmpty()) {
        // A name first: a sheet may well be called "2".
        const Sheet *chosen = nullptr;
        for (const Sheet &each : std::as_const(sheets)) {
            if (!chosen && each.name.compare(sheet, Qt::CaseInsensitive) == 0)
                chosen = &each;
        }
        const std::optional<qint64> number = parseCount(sheet, 7);
        if (!chosen && number && *number >= 1 && *number <= sheets.size())
            chosen = &sheets.at(*number - 1);
        if (!chosen)
            return done(fail(QStringLiteral("%1 中没有工作表“%2”，有的是 %3")
                                 .arg(path, sheet, names.join(u'、'))));
        QString problem;
        bool empty = false;
        if (!readHeader(*chosen, &problem, &empty))
            return done(fail(m_error.isEmpty() ? problem : m_error));
        m_remarks.append(QStringLiteral("读取工作表“%1”").arg(chosen->name));
        return true;
    }

    // The first visible sheet in tab order that holds questions.
    QStringList passed;
    QString firstProblem;
    for (const Sheet &each : std::as_const(sheets)) {
        if (each.hidden) {
            passed.append(QStringLiteral("“%1”（隐藏）").arg(each.name));
            continue;
        }
        QString problem;
        bool empty = false;
        if (readHeader(each, &problem, &empty)) {
            m_remarks.append(QStringLiteral("读取工作表“%1”").arg(each.name));
            if (!passed.isEmpty())
                m_remarks.append(QStringLiteral("跳过的工作表：%1").arg(passed.join(u'、')));
            return true;
        }
        if (!m_error.isEmpty())
            return done(false);
        if (firstProblem.isEmpty())
            firstProblem = problem;
        passed.append(QStringLiteral("“%1”（%2）")
                          .arg(each.name, empty ? QStringLiteral("空的")
                                                : QStringLiteral("第一行不是题目的标题行")));
    }
    if (passed.size() == 1 && !firstProblem.isEmpty())
        return done(fail(firstProblem));
    return done(fail(QStringLiteral("%1 中没有第一行是题目标题行的可见工作表：%2；"
                                    "可以用 --sheet 指定工作表")
                         .arg(path, passed.join(u'、'))));
}

bool XlsxSource::readHeader(const Sheet &sheet, QString *problem, bool *empty)
{
    m_row = 0;
    m_layout.reset();
    m_part = std::make_unique<XmlPart>(m_zip, m_path);
    if (!m_part->open(sheet.path, kMaxSheetBytes))
        return fail(m_part->error());
    *empty = !readRow(m_cells);
    if (*empty) {
        *problem = QStringLiteral("%1 的工作表“%2”是空的，缺少标题行").arg(m_path, sheet.name);
        return false;
    }
    QString why = m_cellErrors.join(QStringLiteral("；"));
    if (why.isEmpty())
        m_layout = Layout::fromHeader(m_cells, &why);
    if (!m_layout)
        *problem = QStringLiteral("%1 %2：%3").arg(m_path, describeLocation(m_row), why);
    return m_layout.has_value();
}

QStringList XlsxSource::remarks() const
{
    return m_remarks + m_layout->remarks();
}

bool XlsxSource::readWorkbook(QList<Sheet> *sheets, QString *stringsPath, QString *stylesPath)
{
    // The workbook part is the package's office document; Excel's own place
    // for it when the package does not say.
    QString workbookPath = QStringLiteral("xl/workbook.xml");
    XmlPart package(m_zip, m_path);
    if (package.open(QStringLiteral("_rels/.rels"), kMaxWorkbookBytes)) {
        while (package.next()) {
            if (package.isStartElement() && package.name() == "Relationship" &&
                package.attribute("Type").endsWith(u"/officeDocument"))
                workbookPath = entryPath(QString(), package.attribute("Target"));
        }
        if (!package.error().isEmpty())
            return fail(package.error());
    }
    const QString folder = QFileInfo(workbookPath).path();

    // The sheets in tab order, and the date system.
    XmlPart workbook(m_zip, m_path);
    if (!workbook.open(workbookPath, kMaxWorkbookBytes))
        return fail(workbook.error());
    QHash<QString, qsizetype> byId;
    while (workbook.next()) {
        const XmlPart &xml = workbook;
        if (!xml.isStartElement())
            continue;
        if (xml.name() == "workbookPr") {
            const QString date1904 = xml.attribute("date1904");
            m_date1904 = date1904 == u"1" || date1904 == u"true";
        } else if (xml.name() == "sheet") {
            Sheet sheet;
            sheet.name = xml.attribute("name");
            const QString state = xml.attribute("state");
            sheet.hidden = state == u"hidden" || state == u"veryHidden";
            QString id = xml.attribute("id", kRelationshipsNs);
            if (id.isEmpty())
                id = xml.attribute("id", kStrictRelationshipsNs);
            if (id.isEmpty())
                return fail(QStringLiteral("%1 的 %2 中工作表“%3”没有关系编号")
                                .arg(m_path, workbookPath, sheet.name));
            byId.insert(id, sheets->size());
            sheets->append(sheet);
        }
    }
    if (!workbook.error().isEmpty())
        return fail(workbook.error());
    if (sheets->isEmpty())
        return fail(QStringLiteral("%1 中没有工作表").arg(m_path));

    // Where the sheets, the shared strings and the styles are.
    const QString relationshipsPath = (folder == u"." ? QString() : folder + u'/') +
                                      QStringLiteral("_rels/") +
                                      QFileInfo(workbookPath).fileName() + QStringLiteral(".rels");
    XmlPart relationships(m_zip, m_path);
    if (!relationships.open(relationshipsPath, kMaxWorkbookBytes))
        return fail(relationships.error());
    while (relationships.next()) {
        const XmlPart &xml = relationships;
        if (!xml.isStartElement() || xml.name() != "Relationship")
            continue;
        const QString target = entryPath(folder, xml.attribute("Target"));
        if (const auto sheet = byId.constFind(xml.attribute("Id")); sheet != byId.constEnd())
            (*sheets)[*sheet].path = target;
        else if (xml.attribute("Type").endsWith(u"/sharedStrings"))
            *stringsPath = target;
        else if (xml.attribute("Type").endsWith(u"/styles"))
            *stylesPath = target;
    }
    if (!relationships.error().isEmpty())
        return fail(relationships.error());
    for (const Sheet &sheet : std::as_const(*sheets)) {
        if (sheet.path.isEmpty())
            return fail(QStringLiteral("%1 不是完整的 Excel 工作簿：找不到工作表“%2”")
                            .arg(m_path, sheet.name));
    }
    return true;
}

bool XlsxSource::readStyles(const QString &name)
{
    // The number format of each cell style (cellXfs), and the codes of the
    // workbook's own formats.
    XmlPart styles(m_zip, m_path);
    if (!styles.open(name, kMaxStylesBytes))
        return fail(styles.error());
    bool inCellStyles = false;
    while (styles.next()) {
        const XmlPart &xml = styles;
        if (xml.isEndElement() && xml.name() == "cellXfs")
            inCellStyles = false;
        if (!xml.isStartElement())
            continue;
        const std::optional<qint64> id = parseCount(xml.attribute("numFmtId"), 9);
        if (xml.name() == "cellXfs") {
            inCellStyles = true;
        } else if (xml.name() == "numFmt") {
            if (!id)
                return fail(QStringLiteral("%1 的 %2 中数字格式编号%3不对")
                                .arg(m_path, name, quoted(xml.attribute("numFmtId"))));
            m_formatCodes.insert(int(*id), xml.attribute("formatCode"));
        } else if (xml.name() == "xf" && inCellStyles) {
            const QString written = xml.attribute("numFmtId");
            if (!written.isEmpty() && !id)
                return fail(QStringLiteral("%1 的 %2 中数字格式编号%3不对")
                                .arg(m_path, name, quoted(written)));
            m_cellFormats.append(id ? int(*id) : 0);
        }
    }
    if (!styles.error().isEmpty())
        return fail(styles.error());
    return true;
}

bool XlsxSource::readSharedStrings(const QString &name)
{
    m_part = std::make_unique<XmlPart>(m_zip, m_path);
    if (!m_part->open(name, kMaxSharedStringsBytes))
        return fail(m_part->error());
    QByteArray text; // one for all, so that its memory is used again
    while (m_part->next()) {
        const XmlPart &xml = *m_part;
        if (!xml.isStartElement() || xml.name() != "si")
            continue;
        if (m_stringEnds.size() == kMaxSharedStrings)
            return fail(QStringLiteral("%1 的 %2 中共享字符串超过 %3 个，不像是题库")
                            .arg(m_path, name)
                            .arg(kMaxSharedStrings));
        bool tooLong = false;
        if (!readStringItem(kMaxCellChars, &text, &tooLong)) {
            if (tooLong)
                return fail(QStringLiteral(
                                "%1 的 %2 中第 %3 个共享字符串太长（一个单元格最多 1600 万个字符）")
                                .arg(m_path, name)
                                .arg(m_stringEnds.size() + 1));
            break;
        }
        appendGrowing(m_strings, text);
        m_stringEnds.append(quint32(m_strings.size()));
    }
    if (!m_part->error().isEmpty())
        return fail(m_part->error());
    return true;
}

QString XlsxSource::sharedString(qsizetype index) const
{
    const quint32 start = index ? m_stringEnds.at(index - 1) : 0;
    return QString::fromUtf8(m_strings.constData() + start, m_stringEnds.at(index) - start);
}

bool XlsxSource::readText(qsizetype limit, QByteArray *text, bool *tooLong)
{
    // The text of the element just started, to its end, of at most `limit`
    // characters (in UTF-16, as a QString counts them).
    text->resize(0); // keeps its memory for the next text
    qsizetype characters = 0;
    int depth = 0;
    while (m_part->next()) {
        const XmlPart &xml = *m_part;
        if (xml.isCharacters()) {
            characters += utf16Length(xml.text());
            if (characters > limit) {
                *tooLong = true;
                return false;
            }
            appendGrowing(*text, xml.text());
        } else if (xml.isStartElement()) {
            ++depth;
        } else if (xml.isEndElement() && depth-- == 0) {
            return true;
        }
    }
    return false;
}

bool XlsxSource::readStringItem(qsizetype limit, QByteArray *text, bool *tooLong)
{
    // Every <t> of a shared or inline string, but not the phonetic guides
    // (<rPh>) that Excel keeps beside East Asian text.
    text->resize(0);
    qsizetype characters = 0;
    int depth = 0;
    int phonetic = 0;
    while (m_part->next()) {
        const XmlPart &xml = *m_part;
        if (xml.isStartElement()) {
            if (xml.name() == "t" && !phonetic) {
                if (!readText(limit - characters, &m_piece, tooLong))
                    return false;
                characters += utf16Length(m_piece);
                // Escapes are rare: only then is the text decoded and encoded again.
                appendGrowing(*text, m_piece.contains("_x")
                                         ? decodeEscapes(QString::fromUtf8(m_piece)).toUtf8()
                                         : m_piece);
                continue;
            }
            ++depth;
            phonetic += xml.name() == "rPh";
        } else if (xml.isEndElement()) {
            if (depth-- == 0)
                return true;
            phonetic -= xml.name() == "rPh";
        }
    }
    return false;
}

QString XlsxSource::describeLocation(qint64 location) const
{
    return QStringLiteral("工作表第 %1 行").arg(location);
}

qint64 XlsxSource::bytesRead() const
{
    // Where in the file the inflated data came from: the best guess there is.
    return std::min(m_zip.position(), m_totalBytes);
}

std::optional<QString> XlsxSource::showNumber(double value, qint64 style, QString *problem)
{
    const int id = style < m_cellFormats.size() ? m_cellFormats.at(style) : 0;
    if (id == 0)
        return generalNumber(value);
    const QString code =
        m_formatCodes.contains(id) ? m_formatCodes.value(id) : NumberFormat::builtinCode(id);
    auto format = m_formats.find(id);
    if (format == m_formats.end())
        format = m_formats.emplace(id, NumberFormat(code)).first;
    const std::optional<QString> text = format->second.format(value, m_date1904);
    if (!text)
        *problem = QStringLiteral("的数字格式%1无法按原样显示")
                       .arg(code.isEmpty() ? QStringLiteral("（编号 %1）").arg(id) : quoted(code));
    return text;
}

bool XlsxSource::readCell(int column, QStringList &cells, qsizetype *rowChars)
{
    const XmlPart &xml = *m_part;
    const QString cell = columnName(column) + QString::number(m_row);
    const QString type = xml.attribute("t");
    qint64 style = 0;
    if (const QString s = xml.attribute("s"); !s.isEmpty()) {
        const std::optional<qint64> index = parseCount(s, 9);
        if (!index || (*index > 0 && *index >= m_cellFormats.size()))
            return failAt(cell, QStringLiteral("的样式编号%1不存在").arg(quoted(s)));
        style = *index;
    }

    QByteArray bytes;
    bool hasValue = false;
    bool complete = false;
    bool tooLong = false;
    int depth = 0;
    while (!complete && !tooLong && m_part->next()) {
        if (xml.isEndElement() && depth-- == 0)
            complete = true;
        else if (!xml.isStartElement())
            continue;
        else if (depth == 0 && xml.name() == "v")
            hasValue = readText(kMaxCellChars, &bytes, &tooLong);
        else if (depth == 0 && xml.name() == "is")
            hasValue = readStringItem(kMaxCellChars, &bytes, &tooLong);
        else
            ++depth; // a formula and anything else is passed over
    }
    if (tooLong)
        return failAt(cell, QStringLiteral("的内容太长（一个单元格最多 1600 万个字符）"));
    if (!complete)
        return fail(m_part->error());

    const QString value = QString::fromUtf8(bytes);
    QString text;
    if (type == u"s") {
        const std::optional<qint64> index = parseCount(value, 10);
        if (!index)
            return failAt(cell, QStringLiteral("的共享字符串编号%1不是整数").arg(quoted(value)));
        if (*index >= m_stringEnds.size())
            return failAt(cell, QStringLiteral("引用的共享字符串 %1 不存在（共有 %2 个）")
                                    .arg(*index)
                                    .arg(m_stringEnds.size()));
        text = sharedString(*index);
    } else if (type == u"b") {
        if (value != u"0" && value != u"1")
            return failAt(cell, QStringLiteral("的逻辑值%1不是 0 或 1").arg(quoted(value)));
        text = value == u"1" ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    } else if (type.isEmpty() || type == u"n") {
        if (hasValue) {
            const std::optional<double> number = parseNumber(value);
            if (!number)
                return failAt(cell, QStringLiteral("的数值%1不是数字").arg(quoted(value)));
            QString problem;
            const std::optional<QString> shown = showNumber(*number, style, &problem);
            if (shown)
                text = *shown;
            else
                m_cellErrors.append(QStringLiteral("单元格 %1 %2").arg(cell, problem));
        }
    } else if (type == u"inlineStr" || type == u"str" || type == u"e" || type == u"d") {
        text = value; // a formula's text, an error such as #N/A, an ISO 8601 date
    } else {
        return failAt(cell, QStringLiteral("的类型%1不认识").arg(quoted(type)));
    }

    *rowChars += text.size();
    if (*rowChars > kMaxRowChars)
        return failAt(cell, QStringLiteral("所在的这一行内容超过 1600 万个字符"));
    while (cells.size() < column)
        cells.append(QString());
    cells.append(text);
    return true;
}

bool XlsxSource::readRow(QStringList &cells)
{
    // Rows with nothing in them, at the end or between questions, are passed over.
    while (m_part->next()) {
        const XmlPart &xml = *m_part;
        if (!xml.isStartElement() || xml.name() != "row")
            continue;
        const QString r = xml.attribute("r");
        qint64 number = m_row + 1;
        if (!r.isEmpty()) {
            const std::optional<qint64> written = parseCount(r, 7);
            if (!written || *written < 1 || *written > kMaxRows) {
                const QString after =
                    m_row ? QStringLiteral("第 %1 行之后").arg(m_row) : QStringLiteral("第一行");
                return fail(QStringLiteral("%1 工作表%2的行号%3不对：行号应在 1 到 %4 之间")
                                .arg(m_path, after, quoted(r))
                                .arg(kMaxRows));
            }
            number = *written;
        }
        if (number > kMaxRows)
            return fail(QStringLiteral("%1 工作表第 %2 行之后还有行，超出了 Excel 工作表的 %3 行")
                            .arg(m_path)
                            .arg(m_row)
                            .arg(kMaxRows));
        if (number <= m_row)
            return fail(
                QStringLiteral("%1 工作表第 %2 行排在第 %3 行之后：行应按从上到下的顺序排列")
                    .arg(m_path)
                    .arg(number)
                    .arg(m_row));
        m_row = number;
        cells.clear();
        m_cellErrors.clear();
        int column = -1;
        qsizetype rowChars = 0;
        int depth = 0;
        while (m_part->next()) {
            if (xml.isEndElement() && depth-- == 0)
                break;
            if (!xml.isStartElement())
                continue;
            if (depth > 0 || xml.name() != "c") {
                ++depth;
                continue;
            }
            const QString reference = xml.attribute("r");
            int at = column + 1;
            if (!reference.isEmpty()) {
                const std::optional<CellReference> parsed = parseReference(reference);
                if (!parsed || parsed->row != m_row)
                    return fail(QStringLiteral(
                                    "%1 %2：单元格引用%3不对：应是第 %4 行中 A 到 XFD 列的单元格")
                                    .arg(m_path, describeLocation(m_row), quoted(reference))
                                    .arg(m_row));
                at = parsed->column;
            } else if (at >= kMaxColumns) {
                return failAt(columnName(column) + QString::number(m_row),
                              QStringLiteral("之后还有单元格，超出了 XFD 列"));
            }
            if (at == column)
                return failAt(columnName(at) + QString::number(m_row),
                              QStringLiteral("出现了两次"));
            if (at < column)
                return failAt(columnName(at) + QString::number(m_row),
                              QStringLiteral("排在 %1%2 之后：单元格应按从左到右的顺序排列")
                                  .arg(columnName(column))
                                  .arg(m_row));
            column = at;
            if (!readCell(column, cells, &rowChars))
                return false;
        }
        if (!m_part->error().isEmpty())
            break;
        bool any = !m_cellErrors.isEmpty();
        for (const QString &cell : std::as_const(cells))
            any = any || !trimCell(cell).isEmpty();
        if (any)
            return true;
    }
    if (!m_part->error().isEmpty())
        m_error = m_part->error();
    return false;
}

bool XlsxSource::next(SourceRecord &record)
{
    if (!readRow(m_cells))
        return false;
    record.location = m_row;
    m_layout->build(m_cells, true, record);
    if (!m_cellErrors.isEmpty()) {
        record.question.reset();
        record.errors = m_cellErrors;
        record.notes.clear();
    }
    return true;
}

} // namespace authoring

#include "authoring/odssource.h"

#include <QFileInfo>

namespace authoring {

namespace {

// content.xml is read as it is inflated, so it may be large: a full sheet fits.
constexpr qint64 kMaxContentBytes = qint64(2) << 30;
constexpr qint64 kMaxRows = 1048576;
constexpr qint64 kMaxColumns = 16384;
// One cell, and one row, as the other readers take them.
constexpr qsizetype kMaxCellChars = 16 * 1024 * 1024;
constexpr qsizetype kMaxRowChars = 16 * 1024 * 1024;
// "<text:s text:c="N"/>": spaces in a row, no more than a cell holds.
constexpr qint64 kMaxSpaces = kMaxCellChars;

const QByteArrayView kTableNs = "opendocument:xmlns:table:1.0";
const QByteArrayView kTextNs = "opendocument:xmlns:text:1.0";
const QByteArrayView kStyleNs = "opendocument:xmlns:style:1.0";
const QByteArrayView kOfficeNs = "opendocument:xmlns:office:1.0";

bool is(const char *name, QByteArrayView ns, QByteArrayView local)
{
    return XmlStream::localName(name) == local && XmlStream::inNamespace(name, ns);
}

} // namespace

OdsSource::OdsSource() : m_stream(m_zip, *this) {}
OdsSource::~OdsSource() = default;

bool OdsSource::open(const QString &path, const QString &sheet, QString *error)
{
    m_path = path;
    m_wanted = sheet;
    m_totalBytes = QFileInfo(path).size();
    if (!m_zip.open(path)) {
        *error = m_zip.error();
        return false;
    }
    if (!m_zip.hasEntry(QStringLiteral("content.xml"))) {
        *error = QStringLiteral("%1 不是完整的 OpenDocument 表格：缺少 content.xml").arg(path);
        return false;
    }
    if (!m_stream.open(path, QStringLiteral("content.xml"), kMaxContentBytes)) {
        *error = m_stream.error();
        return false;
    }
    // Up to the chosen sheet's header, so that a file without one is refused here.
    while (!m_layout && m_table != Table::Done && m_stream.parseMore()) {
    }
    if (!m_stream.error().isEmpty()) {
        *error = m_stream.error();
        return false;
    }
    if (m_layout)
        return true;
    if (!m_wanted.isEmpty() && !m_firstProblem.isEmpty())
        *error =
            QStringLiteral("%1 的工作表“%2”第 1 行：%3").arg(path, m_sheetName, m_firstProblem);
    else if (!m_wanted.isEmpty())
        *error = QStringLiteral("%1 中没有工作表“%2”，有：%3")
                     .arg(path, m_wanted, m_sheets.join(QStringLiteral("、")));
    else
        *error =
            QStringLiteral("%1 中没有哪个可见的工作表第 1 行是题目的标题行%2")
                .arg(path, m_firstProblem.isEmpty() ? QString()
                                                    : QStringLiteral("（工作表“%1”：%2）")
                                                          .arg(m_passed.value(0), m_firstProblem));
    return false;
}

QString OdsSource::describeLocation(qint64 location) const
{
    return QStringLiteral("工作表“%1”第 %2 行").arg(m_sheetName).arg(location);
}

bool OdsSource::fail(const QString &problem)
{
    m_stream.fail(QStringLiteral("%1 的工作表“%2”第 %3 行：%4")
                      .arg(m_path, m_sheets.value(m_sheets.size() - 1))
                      .arg(m_row)
                      .arg(problem));
    return false;
}

std::optional<qint64> OdsSource::repeat(const char **attributes, QByteArrayView name, qint64 most)
{
    const QString written = XmlStream::attribute(attributes, name);
    if (written.isNull())
        return 1;
    bool ok = false;
    const qint64 count = written.size() <= 9 ? written.toLongLong(&ok) : 0;
    if (!ok || count < 1 || count > most) {
        fail(QStringLiteral("%1=“%2”不是 1 到 %3 之间的数")
                 .arg(QString::fromLatin1(name), written.left(20))
                 .arg(most));
        return std::nullopt;
    }
    return count;
}

void OdsSource::startElement(const char *name, const char **attributes)
{
    if (is(name, kStyleNs, "style")) {
        m_styleName = XmlStream::attribute(attributes, "name");
        return;
    }
    if (is(name, kStyleNs, "table-properties")) {
        if (XmlStream::attribute(attributes, "display") == u"false")
            m_hiddenStyles.insert(m_styleName);
        return;
    }
    if (m_table == Table::Done)
        return;
    if (is(name, kTableNs, "table")) {
        const QString sheetName = XmlStream::attribute(attributes, "name");
        m_sheets.append(sheetName);
        m_row = 0;
        bool isNumber = false;
        const int place = m_wanted.toInt(&isNumber);
        const bool wanted =
            m_wanted.isEmpty()
                ? !m_hiddenStyles.contains(XmlStream::attribute(attributes, "style-name"))
                : (isNumber && place == m_sheets.size()) || sheetName == m_wanted;
        if (wanted)
            m_sheetName = sheetName;
        m_table = wanted ? Table::Header : Table::Skipping;
        if (!wanted && m_wanted.isEmpty())
            m_passed.append(sheetName);
        return;
    }
    if (m_table == Table::Outside || m_table == Table::Skipping)
        return;
    if (is(name, kTableNs, "table-row")) {
        const std::optional<qint64> count = repeat(attributes, "number-rows-repeated", kMaxRows);
        if (!count)
            return;
        m_rowRepeat = *count;
        ++m_row;
        if (m_row + m_rowRepeat - 1 > kMaxRows) {
            fail(QStringLiteral("超过了表格的 %1 行").arg(kMaxRows));
            return;
        }
        m_cells.clear();
        m_blankCells = 0;
        m_rowChars = 0;
        return;
    }
    if (is(name, kTableNs, "table-cell") || is(name, kTableNs, "covered-table-cell")) {
        const std::optional<qint64> count =
            repeat(attributes, "number-columns-repeated", kMaxColumns);
        if (!count)
            return;
        m_inCell = true;
        m_cellRepeat = *count;
        m_cellText.clear();
        m_paragraphs = 0;
        return;
    }
    if (!m_inCell)
        return;
    if (is(name, kOfficeNs, "annotation")) {
        ++m_annotation;
        return;
    }
    if (m_annotation)
        return;
    if (is(name, kTextNs, "p") || is(name, kTextNs, "h")) {
        if (m_paragraphs++)
            m_cellText += u'\n';
    } else if (is(name, kTextNs, "s")) {
        const std::optional<qint64> count = repeat(attributes, "c", kMaxSpaces);
        if (count)
            m_cellText += QString(*count, u' ');
    } else if (is(name, kTextNs, "tab")) {
        m_cellText += u'\t';
    } else if (is(name, kTextNs, "line-break")) {
        m_cellText += u'\n';
    }
    if (m_cellText.size() > kMaxCellChars)
        fail(QStringLiteral("第 %1 列超过 %2 个字")
                 .arg(m_cells.size() + m_blankCells + 1)
                 .arg(kMaxCellChars));
}

void OdsSource::characters(QByteArrayView text)
{
    if (!m_inCell || m_annotation || !m_paragraphs)
        return;
    m_cellText += QString::fromUtf8(text);
    if (m_cellText.size() > kMaxCellChars)
        fail(QStringLiteral("第 %1 列超过 %2 个字")
                 .arg(m_cells.size() + m_blankCells + 1)
                 .arg(kMaxCellChars));
}

void OdsSource::endElement(const char *name)
{
    if (m_table == Table::Done || m_table == Table::Outside)
        return;
    if (is(name, kTableNs, "table")) {
        if (m_table == Table::Header) {
            // A sheet without rows has no header either.
            m_cells.clear();
            m_rowRepeat = 1;
            endRow();
        }
        // The chosen sheet is read; the rest of the file is not needed.
        m_table =
            m_table == Table::Reading || m_table == Table::Done ? Table::Done : Table::Outside;
        return;
    }
    if (m_table == Table::Skipping)
        return;
    if (is(name, kOfficeNs, "annotation")) {
        --m_annotation;
        return;
    }
    if (is(name, kTableNs, "table-cell") || is(name, kTableNs, "covered-table-cell")) {
        m_inCell = false;
        const qint64 width = m_cells.size() + m_blankCells + m_cellRepeat;
        if (m_cellText.isEmpty()) {
            m_blankCells += m_cellRepeat;
            return;
        }
        if (width > kMaxColumns) {
            fail(QStringLiteral("超过了表格的 %1 列").arg(kMaxColumns));
            return;
        }
        m_rowChars += m_cellText.size() * m_cellRepeat;
        if (m_rowChars > kMaxRowChars) {
            fail(QStringLiteral("这一行超过 %1 个字").arg(kMaxRowChars));
            return;
        }
        for (; m_blankCells > 0; --m_blankCells)
            m_cells.append(QString());
        for (qint64 i = 0; i < m_cellRepeat; ++i)
            m_cells.append(m_cellText);
        return;
    }
    if (is(name, kTableNs, "table-row"))
        endRow();
}

void OdsSource::endRow()
{
    const qint64 first = m_row;
    m_row += m_rowRepeat - 1;
    if (m_table == Table::Header) {
        QString problem;
        m_layout = Layout::fromHeader(m_cells, &problem);
        if (m_layout) {
            m_table = Table::Reading;
            m_sheetNote = m_passed.isEmpty()
                              ? QStringLiteral("读取工作表“%1”").arg(m_sheetName)
                              : QStringLiteral("读取工作表“%1”，跳过了“%2”")
                                    .arg(m_sheetName, m_passed.join(QStringLiteral("”“")));
            // A header row repeated is a header and then rows of the same text.
            if (m_rowRepeat > 1)
                m_rows.push_back({first + 1, m_rowRepeat - 1, m_cells});
            return;
        }
        if (m_firstProblem.isEmpty())
            m_firstProblem = problem;
        if (!m_wanted.isEmpty()) {
            m_table = Table::Done;
            return;
        }
        m_passed.append(m_sheetName);
        m_table = Table::Skipping;
        return;
    }
    if (!m_cells.isEmpty())
        m_rows.push_back({first, m_rowRepeat, m_cells});
}

bool OdsSource::next(SourceRecord &record)
{
    while (m_rows.empty()) {
        if (m_table == Table::Done || !m_stream.parseMore())
            return false;
    }
    Row &row = m_rows.front();
    record.location = row.location;
    m_layout->build(row.cells, true, record);
    if (!m_sheetNote.isEmpty())
        record.notes.prepend(std::exchange(m_sheetNote, QString()));
    if (--row.repeat > 0)
        ++row.location;
    else
        m_rows.pop_front();
    return true;
}

} // namespace authoring

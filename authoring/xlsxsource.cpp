#include "authoring/xlsxsource.h"

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

#include <QFileInfo>

#include <cmath>

namespace authoring {

namespace {

const QString kRelationshipsNs =
    QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships");

// The text of a shared or inline string: every <t> it holds, but not the
// phonetic guides (<rPh>) that Excel keeps beside East Asian text.
QString readStringItem(QXmlStreamReader &xml)
{
    QString text;
    int phonetic = 0;
    const QString endName = xml.name().toString();
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() == u"rPh")
                ++phonetic;
            else if (xml.name() == u"t" && !phonetic)
                text += xml.readElementText();
        } else if (xml.isEndElement()) {
            if (xml.name() == u"rPh")
                --phonetic;
            else if (xml.name() == endName)
                break;
        }
    }
    return text;
}

// "AB12" → 27 (columns from 0); -1 when there is no column.
int columnOf(const QString &reference)
{
    int column = 0;
    int letters = 0;
    for (const QChar c : reference) {
        if (c < u'A' || c > u'Z')
            break;
        column = column * 26 + (c.unicode() - u'A' + 1);
        ++letters;
    }
    return letters ? column - 1 : -1;
}

// Resolves a relationship target against the folder of workbook.xml.
QString entryPath(const QString &target)
{
    if (target.startsWith(QLatin1Char('/')))
        return target.mid(1);
    return QStringLiteral("xl/") + target;
}

} // namespace

XlsxSource::XlsxSource() = default;
XlsxSource::~XlsxSource() = default;

QString XlsxSource::generalNumber(const QString &stored)
{
    bool ok = false;
    const double value = stored.toDouble(&ok);
    if (!ok)
        return stored;
    if (value == std::floor(value) && std::fabs(value) < 1e15)
        return QString::number(qint64(value));
    // General shows at most about 11 significant digits; 15 keeps what was typed.
    return QString::number(value, 'g', 15);
}

bool XlsxSource::readEntry(const QString &name, QByteArray *bytes, QString *error)
{
    if (!m_zip->setCurrentFile(name)) {
        *error = QStringLiteral("%1 不是完整的 Excel 工作簿：缺少 %2").arg(m_path, name);
        return false;
    }
    QuaZipFile file(m_zip.get());
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("无法读取 %1 中的 %2").arg(m_path, name);
        return false;
    }
    *bytes = file.readAll();
    return true;
}

bool XlsxSource::open(const QString &path, QString *error)
{
    m_path = path;
    m_totalBytes = QFileInfo(path).size();
    m_zip = std::make_unique<QuaZip>(path);
    if (!m_zip->open(QuaZip::mdUnzip)) {
        *error = QStringLiteral("无法打开 %1：不是 zip 格式的 Excel 工作簿").arg(path);
        return false;
    }

    // The first sheet of workbook.xml, and where its relationship points.
    QByteArray bytes;
    if (!readEntry(QStringLiteral("xl/workbook.xml"), &bytes, error))
        return false;
    QString sheetId;
    {
        QXmlStreamReader xml(bytes);
        while (!xml.atEnd() && sheetId.isEmpty()) {
            if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"sheet")
                sheetId = xml.attributes().value(kRelationshipsNs, QLatin1String("id")).toString();
        }
    }
    if (sheetId.isEmpty()) {
        *error = QStringLiteral("%1 中没有工作表").arg(path);
        return false;
    }
    if (!readEntry(QStringLiteral("xl/_rels/workbook.xml.rels"), &bytes, error))
        return false;
    QString sheetPath;
    QString stringsPath;
    {
        QXmlStreamReader xml(bytes);
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != u"Relationship")
                continue;
            const QXmlStreamAttributes a = xml.attributes();
            if (a.value(QLatin1String("Id")) == sheetId)
                sheetPath = entryPath(a.value(QLatin1String("Target")).toString());
            else if (a.value(QLatin1String("Type")).endsWith(u"/sharedStrings"))
                stringsPath = entryPath(a.value(QLatin1String("Target")).toString());
        }
    }
    if (sheetPath.isEmpty()) {
        *error = QStringLiteral("%1 不是完整的 Excel 工作簿：找不到第一个工作表").arg(path);
        return false;
    }

    if (!stringsPath.isEmpty()) {
        if (!m_zip->setCurrentFile(stringsPath)) {
            *error = QStringLiteral("%1 不是完整的 Excel 工作簿：缺少 %2").arg(path, stringsPath);
            return false;
        }
        QuaZipFile file(m_zip.get());
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("无法读取 %1 中的 %2").arg(path, stringsPath);
            return false;
        }
        QXmlStreamReader xml(&file);
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"si")
                m_sharedStrings.append(readStringItem(xml));
        }
        if (xml.hasError()) {
            *error = QStringLiteral("%1 的共享字符串已损坏：%2").arg(path, xml.errorString());
            return false;
        }
    }

    if (!m_zip->setCurrentFile(sheetPath)) {
        *error = QStringLiteral("%1 不是完整的 Excel 工作簿：缺少 %2").arg(path, sheetPath);
        return false;
    }
    m_sheet = std::make_unique<QuaZipFile>(m_zip.get());
    if (!m_sheet->open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("无法读取 %1 中的 %2").arg(path, sheetPath);
        return false;
    }
    m_xml.setDevice(m_sheet.get());

    if (!readRow(m_cells, &m_row)) {
        *error = m_error.isEmpty() ? QStringLiteral("%1 的第一个工作表是空的，缺少标题行").arg(path)
                                   : m_error;
        return false;
    }
    QString problem;
    m_layout = Layout::fromHeader(m_cells, &problem);
    if (!m_layout) {
        *error = QStringLiteral("%1 %2：%3").arg(path, describeLocation(m_row), problem);
        return false;
    }
    return true;
}

QString XlsxSource::describeLocation(qint64 location) const
{
    return QStringLiteral("工作表第 %1 行").arg(location);
}

qint64 XlsxSource::bytesRead() const
{
    // The sheet is compressed: its share of the file is the best guess there is.
    if (!m_sheet || !m_sheet->usize())
        return 0;
    return qint64(double(m_sheet->pos()) / double(m_sheet->usize()) * double(m_totalBytes));
}

QString XlsxSource::readCell(QString *reference)
{
    const QXmlStreamAttributes a = m_xml.attributes();
    *reference = a.value(QLatin1String("r")).toString();
    const QString type = a.value(QLatin1String("t")).toString();
    QString value;
    while (!m_xml.atEnd()) {
        m_xml.readNext();
        if (m_xml.isStartElement()) {
            if (m_xml.name() == u"v")
                value = m_xml.readElementText();
            else if (m_xml.name() == u"is")
                value = readStringItem(m_xml);
        } else if (m_xml.isEndElement() && m_xml.name() == u"c") {
            break;
        }
    }
    if (type == u"s") {
        bool ok = false;
        const int index = value.toInt(&ok);
        return ok && index >= 0 && index < m_sharedStrings.size() ? m_sharedStrings.at(index)
                                                                   : QString();
    }
    if (type == u"b")
        return value == u"1" ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    if (type.isEmpty() || type == u"n")
        return generalNumber(value);
    return value; // inlineStr, str (a formula's text) and e (an error such as #N/A)
}

bool XlsxSource::readRow(QStringList &cells, qint64 *row)
{
    // Rows with nothing in them, at the end or between questions, are passed over.
    while (!m_xml.atEnd()) {
        if (m_xml.readNext() != QXmlStreamReader::StartElement || m_xml.name() != u"row")
            continue;
        const qint64 number = m_xml.attributes().value(QLatin1String("r")).toLongLong();
        *row = number > 0 ? number : *row + 1;
        cells.clear();
        bool any = false;
        while (!m_xml.atEnd()) {
            m_xml.readNext();
            if (m_xml.isEndElement() && m_xml.name() == u"row")
                break;
            if (!m_xml.isStartElement() || m_xml.name() != u"c")
                continue;
            QString reference;
            const QString value = readCell(&reference);
            const int column = columnOf(reference);
            const int at = column >= 0 ? column : int(cells.size());
            while (cells.size() < at)
                cells.append(QString());
            if (at < cells.size())
                cells[at] = value;
            else
                cells.append(value);
            any = any || !trimCell(value).isEmpty();
        }
        if (any)
            return true;
    }
    if (m_xml.hasError())
        m_error = QStringLiteral("%1 的工作表已损坏：%2").arg(m_path, m_xml.errorString());
    return false;
}

bool XlsxSource::next(SourceRecord &record)
{
    if (!readRow(m_cells, &m_row))
        return false;
    record.location = m_row;
    m_layout->build(m_cells, true, record);
    return true;
}

} // namespace authoring

#include "authoring/xlssource.h"

#include "authoring/numberformat.h"
#include "authoring/zipreader.h"

#include <QFile>

#include <freexl.h>

namespace authoring {

namespace {

// libfreexl holds the whole workbook, every cell of every sheet, in memory:
// a file or a sheet past these is refused before it is loaded. Excel 97-2003
// sheets end at 65,536 rows and 256 columns.
constexpr qint64 kMaxFileBytes = qint64(256) << 20;
constexpr qint64 kMaxCells = qint64(16) << 20;
constexpr qsizetype kMaxCellChars = 16 * 1024 * 1024;
// An OLE directory of a workbook holds a handful of entries.
constexpr int kMaxDirectorySectors = 1024;

QString freexlProblem(int code)
{
    switch (code) {
    case FREEXL_INSUFFICIENT_MEMORY:
        return QStringLiteral("内存不足");
    case FREEXL_INVALID_CFBF_HEADER:
    case FREEXL_CFBF_INVALID_SIGNATURE:
        return QStringLiteral("不是 Excel 97-2003 工作簿");
    case FREEXL_BIFF_WORKBOOK_NOT_FOUND:
        return QStringLiteral("里面没有工作簿");
    case FREEXL_INVALID_CHARACTER:
    case FREEXL_UNSUPPORTED_CHARSET:
        return QStringLiteral("文字的编码无法识别");
    default:
        return QStringLiteral("文件已损坏（libfreexl 错误 %1）").arg(code);
    }
}

quint32 le32(const QByteArray &bytes, qsizetype at)
{
    return quint32(quint8(bytes[at])) | quint32(quint8(bytes[at + 1])) << 8 |
           quint32(quint8(bytes[at + 2])) << 16 | quint32(quint8(bytes[at + 3])) << 24;
}

} // namespace

std::optional<QStringList> oleEntryNames(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("无法读取 %1：%2").arg(path, file.errorString());
        return std::nullopt;
    }
    const auto damaged = [&](const QString &what) {
        *error = QStringLiteral("%1 的 OLE 目录已损坏：%2").arg(path, what);
        return std::nullopt;
    };
    const QByteArray header = file.read(512);
    if (header.size() < 512 || !header.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
        return damaged(QStringLiteral("文件头不对"));
    const quint16 shift = quint8(header[30]) | quint8(header[31]) << 8;
    if (shift != 9 && shift != 12)
        return damaged(QStringLiteral("扇区大小不对"));
    const qint64 sectorSize = qint64(1) << shift;
    // Sector 0 follows the header, which fills the first sector of its size.
    const qint64 sectors = file.size() / sectorSize - 1;
    auto readSector = [&](quint32 sector, QByteArray *bytes) {
        if (sector >= sectors || !file.seek((qint64(sector) + 1) * sectorSize))
            return false;
        *bytes = file.read(sectorSize);
        return bytes->size() == sectorSize;
    };
    // The FAT entry of a sector, through the first 109 FAT sectors the header lists:
    // enough for the directory, which a writer puts near the start.
    const qint64 perSector = sectorSize / 4;
    auto nextSector = [&](quint32 sector) -> std::optional<quint32> {
        const qint64 fatIndex = sector / perSector;
        QByteArray fat;
        if (fatIndex >= 109 || !readSector(le32(header, 76 + fatIndex * 4), &fat))
            return std::nullopt;
        return le32(fat, (sector % perSector) * 4);
    };

    QStringList names;
    quint32 sector = le32(header, 48);
    for (int count = 0; sector != 0xFFFFFFFE; ++count) {
        QByteArray directory;
        if (count == kMaxDirectorySectors || !readSector(sector, &directory))
            return damaged(QStringLiteral("目录扇区 %1 不在文件之中").arg(sector));
        for (qsizetype at = 0; at + 128 <= directory.size(); at += 128) {
            const int length = quint8(directory[at + 64]) | quint8(directory[at + 65]) << 8;
            if (directory[at + 66] == 0 || length < 2 || length > 64 || length % 2)
                continue;
            names.append(QString::fromUtf16(
                reinterpret_cast<const char16_t *>(directory.constData() + at), length / 2 - 1));
        }
        const std::optional<quint32> next = nextSector(sector);
        if (!next)
            return damaged(QStringLiteral("目录扇区 %1 的链已断").arg(sector));
        sector = *next;
    }
    return names;
}

XlsSource::~XlsSource()
{
    if (m_handle)
        freexl_close(m_handle);
}

bool XlsSource::open(const QString &path, const QString &sheet, QString *error)
{
    m_path = path;
    QFile file(path);
    m_totalBytes = file.size();
    if (m_totalBytes > kMaxFileBytes) {
        *error = QStringLiteral("%1 超过 %2，不像是题库，没有读下去")
                     .arg(path, sizeInWords(kMaxFileBytes));
        return false;
    }
    const QByteArray name = QFile::encodeName(path);
    // The sizes of the sheets first, without their cells.
    const void *info = nullptr;
    int code = freexl_open_info(name.constData(), &info);
    QStringList names;
    qint64 cells = 0;
    unsigned count = 0;
    if (code == FREEXL_OK) {
        unsigned password = 0;
        if (freexl_get_info(info, FREEXL_BIFF_PASSWORD, &password) == FREEXL_OK &&
            password == FREEXL_BIFF_OBFUSCATED) {
            freexl_close(info);
            *error = QStringLiteral("%1 加了密码，无法读取：请在 Excel 里去掉密码，另存为 .xlsx")
                         .arg(path);
            return false;
        }
        code = freexl_get_info(info, FREEXL_BIFF_SHEET_COUNT, &count);
    }
    for (unsigned i = 0; code == FREEXL_OK && i < count && i < 65536; ++i) {
        const char *sheetName = nullptr;
        unsigned rows = 0;
        unsigned short columns = 0;
        code = freexl_get_worksheet_name(info, (unsigned short)i, &sheetName);
        if (code == FREEXL_OK)
            code = freexl_select_active_worksheet(info, (unsigned short)i);
        if (code == FREEXL_OK)
            code = freexl_worksheet_dimensions(info, &rows, &columns);
        if (code == FREEXL_OK) {
            names.append(QString::fromUtf8(sheetName));
            cells += qint64(rows) * columns;
        }
    }
    if (info)
        freexl_close(info);
    if (code != FREEXL_OK) {
        *error = QStringLiteral("无法读取 %1：%2").arg(path, freexlProblem(code));
        return false;
    }
    if (cells > kMaxCells) {
        *error = QStringLiteral("%1 的工作表共有 %2 个单元格，超过 %3 个，不像是题库，没有读下去")
                     .arg(path)
                     .arg(cells)
                     .arg(kMaxCells);
        return false;
    }
    code = freexl_open(name.constData(), &m_handle);
    if (code != FREEXL_OK) {
        m_handle = nullptr;
        *error = QStringLiteral("无法读取 %1：%2").arg(path, freexlProblem(code));
        return false;
    }

    int chosen = -1;
    QStringList passed;
    QString firstProblem;
    if (!sheet.isEmpty()) {
        bool isNumber = false;
        const int place = sheet.toInt(&isNumber);
        chosen =
            isNumber && place >= 1 && place <= names.size() ? place - 1 : int(names.indexOf(sheet));
        if (chosen < 0) {
            *error = QStringLiteral("%1 中没有工作表“%2”，有：%3")
                         .arg(path, sheet, names.join(QStringLiteral("、")));
            return false;
        }
    }
    for (int i = 0; i < names.size(); ++i) {
        if (chosen >= 0 && i != chosen)
            continue;
        m_sheetName = names.at(i);
        QStringList header;
        QString problem;
        if (!select((unsigned short)i) || !readRow(0, header)) {
            *error = m_error;
            return false;
        }
        m_layout = Layout::fromHeader(header, &problem);
        if (m_layout) {
            chosen = i;
            break;
        }
        if (chosen >= 0) {
            *error = QStringLiteral("%1 的工作表“%2”第 1 行：%3").arg(path, m_sheetName, problem);
            return false;
        }
        passed.append(names.at(i));
        if (firstProblem.isEmpty())
            firstProblem = problem;
    }
    if (!m_layout) {
        *error = QStringLiteral("%1 中没有哪个工作表的第 1 行是题目的标题行（工作表“%2”：%3）")
                     .arg(path, names.value(0), firstProblem);
        return false;
    }
    m_sheetNote = passed.isEmpty() ? QStringLiteral("读取工作表“%1”").arg(m_sheetName)
                                   : QStringLiteral("读取工作表“%1”，跳过了第 1 行不是标题行的“%2”")
                                         .arg(m_sheetName, passed.join(QStringLiteral("”“")));
    return true;
}

bool XlsSource::select(unsigned short sheet)
{
    unsigned short columns = 0;
    unsigned rows = 0;
    if (freexl_select_active_worksheet(m_handle, sheet) != FREEXL_OK ||
        freexl_worksheet_dimensions(m_handle, &rows, &columns) != FREEXL_OK) {
        m_error = QStringLiteral("无法读取 %1 的工作表“%2”").arg(m_path, m_sheetName);
        return false;
    }
    m_rows = rows;
    m_columns = columns;
    return true;
}

QString XlsSource::describeLocation(qint64 location) const
{
    return QStringLiteral("工作表“%1”第 %2 行").arg(m_sheetName).arg(location);
}

bool XlsSource::readRow(unsigned row, QStringList &cells)
{
    cells.clear();
    if (row >= m_rows)
        return true;
    for (unsigned short column = 0; column < m_columns; ++column) {
        FreeXL_CellValue value;
        const int code = freexl_get_cell_value(m_handle, row, column, &value);
        if (code != FREEXL_OK) {
            m_error = QStringLiteral("%1 的工作表“%2”第 %3 行第 %4 列无法读取：%5")
                          .arg(m_path, m_sheetName)
                          .arg(row + 1)
                          .arg(column + 1)
                          .arg(freexlProblem(code));
            return false;
        }
        QString text;
        switch (value.type) {
        case FREEXL_CELL_INT:
            text = QString::number(value.value.int_value);
            break;
        case FREEXL_CELL_DOUBLE:
            text = generalNumber(value.value.double_value);
            break;
        case FREEXL_CELL_TEXT:
        case FREEXL_CELL_SST_TEXT:
        case FREEXL_CELL_DATE:
        case FREEXL_CELL_DATETIME:
        case FREEXL_CELL_TIME:
            text = value.value.text_value ? QString::fromUtf8(value.value.text_value) : QString();
            break;
        default:
            break;
        }
        if (text.size() > kMaxCellChars) {
            m_error = QStringLiteral("%1 的工作表“%2”第 %3 行第 %4 列超过 %5 个字")
                          .arg(m_path, m_sheetName)
                          .arg(row + 1)
                          .arg(column + 1)
                          .arg(kMaxCellChars);
            return false;
        }
        cells.append(text);
    }
    while (!cells.isEmpty() && cells.last().isEmpty())
        cells.removeLast();
    return true;
}

bool XlsSource::next(SourceRecord &record)
{
    QStringList cells;
    while (m_row < m_rows) {
        const unsigned row = m_row++;
        if (!readRow(row, cells))
            return false;
        if (cells.isEmpty())
            continue;
        record.location = row + 1;
        m_layout->build(cells, true, record);
        if (!m_sheetNote.isEmpty())
            record.notes.prepend(std::exchange(m_sheetNote, QString()));
        return true;
    }
    return false;
}

} // namespace authoring

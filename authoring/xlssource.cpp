#include "authoring/xlssource.h"

#include "authoring/numberformat.h"
#include "authoring/olefile.h"
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
// The sheet records come before the shared strings in the workbook's globals.
constexpr qint64 kMaxGlobalsBytes = qint64(4) << 20;

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

// What is wrong with the records of a workbook stream, as far as libfreexl
// would trust them: each record lies within the stream and within Excel's
// size, the stream starts with a BOF, and the texts in sheet names, cells and
// number formats lie within their records. Empty when nothing is.
QString recordProblem(const QByteArray &stream)
{
    const auto le16 = [&](qsizetype at) {
        return quint16(quint8(stream.at(at)) | quint8(stream.at(at + 1)) << 8);
    };
    // A text of `count` characters starting with its flags byte at `at`.
    const auto textFits = [&](qsizetype at, qsizetype count, qsizetype end) {
        return at < end && at + 1 + count * ((stream.at(at) & 0x01) ? 2 : 1) <= end;
    };
    if (stream.size() < 6 || (le16(0) & 0x00FF) != 0x09)
        return QStringLiteral("工作簿数据不是以 BOF 记录开头");
    // Texts as Excel 97 writes them; older versions have no flags byte.
    const bool biff8 = le16(4) == 0x0600;
    for (qsizetype at = 0; at + 4 <= stream.size();) {
        const quint16 type = le16(at);
        const qsizetype length = le16(at + 2);
        const qsizetype body = at + 4;
        const qsizetype end = body + length;
        const auto bad = [&] {
            return QStringLiteral("第 %1 字节处的记录（类型 %2）长度不对")
                .arg(at)
                .arg(type, 4, 16, QLatin1Char('0'));
        };
        if (length > 8224 || end > stream.size())
            return bad();
        bool fits = true;
        switch (biff8 ? type : 0) {
        case 0x0085: // BOUNDSHEET: the name's length, then its flags
            fits = length >= 8 && textFits(body + 7, quint8(stream.at(body + 6)), end);
            break;
        case 0x0204: // LABEL
            fits = length >= 9 && textFits(body + 8, le16(body + 6), end);
            break;
        case 0x041E: // FORMAT
            fits = length >= 5 && textFits(body + 4, le16(body + 2), end);
            break;
        default:
            break;
        }
        if (!fits)
            return bad();
        at = end;
    }
    return QString();
}

// Which worksheets are hidden, in the order of the workbook's sheet records;
// empty when the workbook stream cannot be read that far. libfreexl does not
// say, so the records are read here.
QList<bool> hiddenSheets(const QString &path)
{
    OleFile ole;
    QString ignored;
    if (!ole.open(path, &ignored))
        return {};
    std::optional<QByteArray> stream = ole.read(QStringLiteral("Workbook"), kMaxGlobalsBytes);
    if (!stream)
        stream = ole.read(QStringLiteral("Book"), kMaxGlobalsBytes);
    if (!stream)
        return {};
    const auto le16 = [&](qsizetype at) {
        return quint16(quint8(stream->at(at)) | quint8(stream->at(at + 1)) << 8);
    };
    QList<bool> hidden;
    for (qsizetype at = 0; at + 4 <= stream->size();) {
        const quint16 type = le16(at);
        const quint16 length = le16(at + 2);
        if (type == 0x000A) // the end of the workbook's globals
            break;
        // BOUNDSHEET: where the sheet starts, its state (0 visible) and its kind (0 a worksheet).
        if (type == 0x0085 && length >= 6 && at + 10 <= stream->size() && stream->at(at + 9) == 0)
            hidden.append((stream->at(at + 8) & 0x03) != 0);
        at += 4 + length;
    }
    return hidden;
}

} // namespace

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
    // libfreexl trusts the file's structure more than a hostile file deserves:
    // the workbook stream is followed to its end here first.
    OleFile ole;
    if (!ole.open(path, error))
        return false;
    const QStringList streams = ole.names();
    const QString stream = streams.contains(QStringLiteral("Workbook")) ? QStringLiteral("Workbook")
                                                                        : QStringLiteral("Book");
    if (!streams.contains(stream)) {
        *error = QStringLiteral("%1 不是 Excel 97-2003 工作簿：里面没有工作簿数据").arg(path);
        return false;
    }
    const std::optional<QByteArray> records = ole.read(stream, kMaxFileBytes);
    if (!records) {
        *error = QStringLiteral("%1 已损坏：工作簿数据不完整").arg(path);
        return false;
    }
    if (const QString problem = recordProblem(*records); !problem.isEmpty()) {
        *error = QStringLiteral("%1 已损坏：%2").arg(path, problem);
        return false;
    }
#ifdef Q_OS_WIN
    // The Windows build of libfreexl takes its file name in UTF-8, not the ANSI code page.
    const QByteArray name = path.toUtf8();
#else
    const QByteArray name = QFile::encodeName(path);
#endif
    // The sizes of the sheets first, without their cells.
    const void *info = nullptr;
    int code = freexl_open_info(name.constData(), &info);
    const bool opened = code == FREEXL_OK;
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
    if (opened)
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
    QList<bool> hidden = hiddenSheets(path);
    if (hidden.size() != names.size())
        hidden.clear();
    for (int i = 0; i < names.size(); ++i) {
        if (chosen >= 0 && i != chosen)
            continue;
        if (chosen < 0 && hidden.value(i)) {
            passed.append(names.at(i));
            continue;
        }
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
                                   : QStringLiteral("读取工作表“%1”，跳过了“%2”")
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

#include "authoring/exporter.h"

#include "authoring/layout.h"
#include "bank/newfile.h"

#include <QFile>
#include <QFileInfo>

#include <xlsxwriter.h>

namespace authoring {

namespace {

constexpr qint64 kProgressEvery = 4096;
constexpr qsizetype kFlushAt = 1 << 20;
// An Excel sheet holds 1,048,576 rows, one of them the header.
constexpr qint64 kMaxSheetRows = 1048575;

QString text(const std::optional<qint64> &value)
{
    return value ? QString::number(*value) : QString();
}

// A text as a workbook must hold it. libxlsxwriter writes the characters XML
// cannot hold as Excel's _xHHHH_ escapes, but leaves text that already looks
// like one alone; its underscore is escaped here (_x005F_), or a reader
// would turn the text "_x000D_" into a carriage return.
QString excelText(const QString &text)
{
    if (!text.contains(u"_x"))
        return text;
    auto isHex = [](QChar c) {
        return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
    };
    QString escaped;
    for (qsizetype i = 0; i < text.size(); ++i) {
        bool escape = text.at(i) == u'_' && i + 6 < text.size() && text.at(i + 1) == u'x' &&
                      text.at(i + 6) == u'_';
        for (qsizetype k = i + 2; escape && k < i + 6; ++k)
            escape = isHex(text.at(k));
        if (escape)
            escaped += QStringLiteral("_x005F_");
        else
            escaped += text.at(i);
    }
    return escaped;
}

// Writes rows of cells under a header; an empty cell is left empty.
class Writer
{
public:
    virtual ~Writer() = default;
    // `numbers` are the columns a workbook holds as numbers.
    virtual bool open(const QString &path, const QStringList &header, QList<int> numbers,
                      QString *error) = 0;
    virtual bool write(qint64 row, const QStringList &cells, QString *error) = 0;
    virtual bool close(QString *error) = 0;
};

class CsvWriter : public Writer
{
public:
    bool open(const QString &path, const QStringList &header, QList<int>, QString *error) override
    {
        m_file.setFileName(path);
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            *error = m_file.errorString();
            return false;
        }
        m_buffer = "\xEF\xBB\xBF";
        return write(0, header, error);
    }
    bool write(qint64, const QStringList &cells, QString *error) override
    {
        for (qsizetype i = 0; i < cells.size(); ++i)
            m_buffer += (i ? "," : "") + csvField(cells.at(i));
        m_buffer += "\r\n";
        return m_buffer.size() < kFlushAt || flush(error);
    }
    bool close(QString *error) override
    {
        if (!flush(error))
            return false;
        m_file.close();
        return true;
    }

private:
    bool flush(QString *error)
    {
        if (m_file.write(m_buffer) != m_buffer.size()) {
            *error = m_file.errorString();
            return false;
        }
        m_buffer.clear();
        return true;
    }
    QFile m_file;
    QByteArray m_buffer;
};

class XlsxWriter : public Writer
{
public:
    ~XlsxWriter() override
    {
        // Given up half-way: free it without writing the file.
        if (m_workbook)
            lxw_workbook_free(m_workbook);
    }
    bool open(const QString &path, const QStringList &header, QList<int> numbers,
              QString *error) override
    {
        // Constant memory: each row goes to disk as soon as the next one starts.
        lxw_workbook_options options = {};
        options.constant_memory = LXW_TRUE;
        m_workbook = workbook_new_opt(QFile::encodeName(path).constData(), &options);
        m_sheet = m_workbook ? workbook_add_worksheet(m_workbook, nullptr) : nullptr;
        if (!m_sheet) {
            *error = QStringLiteral("无法建立工作簿");
            return false;
        }
        for (qsizetype c = 0; c < header.size(); ++c)
            worksheet_write_string(m_sheet, 0, lxw_col_t(c), header.at(c).toUtf8().constData(),
                                   nullptr);
        m_numbers = std::move(numbers);
        return true;
    }
    bool write(qint64 row, const QStringList &cells, QString *error) override
    {
        if (row > kMaxSheetRows) {
            *error = QStringLiteral("Excel 工作表最多容纳 %1 道题").arg(kMaxSheetRows);
            return false;
        }
        const auto r = lxw_row_t(row);
        lxw_error result = LXW_NO_ERROR;
        for (qsizetype i = 0; i < cells.size() && result == LXW_NO_ERROR; ++i) {
            const QString &cell = cells.at(i);
            const auto c = lxw_col_t(i);
            if (cell.isEmpty())
                continue;
            if (m_numbers.contains(i))
                result = worksheet_write_number(m_sheet, r, c, cell.toDouble(), nullptr);
            else
                result = worksheet_write_string(m_sheet, r, c, excelText(cell).toUtf8().constData(),
                                                nullptr);
        }
        if (result != LXW_NO_ERROR) {
            *error = QStringLiteral("第 %1 道题无法写入工作簿：%2")
                         .arg(row)
                         .arg(QString::fromUtf8(lxw_strerror(result)));
            return false;
        }
        return true;
    }
    bool close(QString *error) override
    {
        const lxw_error result = workbook_close(m_workbook);
        m_workbook = nullptr;
        if (result != LXW_NO_ERROR) {
            *error = QString::fromUtf8(lxw_strerror(result));
            return false;
        }
        return true;
    }

private:
    lxw_workbook *m_workbook = nullptr;
    lxw_worksheet *m_sheet = nullptr;
    QList<int> m_numbers;
};

// The template's cells of a question whose text composeQuestion made: its
// question, options and answer. Nothing for a text not in that form.
std::optional<QStringList> templateCells(const bank::Question &q)
{
    const QString tm = q.tm.value_or(QString());
    for (int given = 4; given >= 2; --given) {
        TemplateQuestion parts;
        qsizetype end = tm.size();
        bool found = true;
        for (int i = given - 1; i >= 0 && found; --i) {
            const QString marker = u'\n' + QChar(u'A' + i) + u'.';
            const qsizetype at = tm.lastIndexOf(marker, end - 1);
            found = at >= 0;
            if (found) {
                parts.options[i] = tm.mid(at + marker.size(), end - at - marker.size());
                end = at;
            }
        }
        parts.stem = tm.left(end);
        // Only what reads back the same: trimmed parts, none of them empty.
        bool trimmed = !parts.stem.isEmpty() && trimCell(parts.stem) == parts.stem;
        for (int i = 0; i < given; ++i)
            trimmed = trimmed && !parts.options[i].isEmpty() &&
                      trimCell(parts.options[i]) == parts.options[i];
        if (found && trimmed && composeQuestion(parts) == tm) {
            QStringList cells{parts.stem};
            for (const QString &option : parts.options)
                cells.append(option);
            cells.append(q.da.value_or(QString()));
            return cells;
        }
    }
    return std::nullopt;
}

} // namespace

QByteArray csvField(const QString &value)
{
    QByteArray utf8 = value.toUtf8();
    if (!utf8.contains(',') && !utf8.contains('"') && !utf8.contains('\n') && !utf8.contains('\r'))
        return utf8;
    utf8.replace("\"", "\"\"");
    return '"' + utf8 + '"';
}

bool exportSource(QuestionSource &source, const QString &target, ExportLayout layout,
                  qint64 *written, QString *error, const std::function<void(qint64 row)> &unsplit,
                  const std::function<void(qint64 records)> &progress)
{
    const auto failed = [error](const QString &reason) {
        *error = reason;
        return false;
    };
    *written = 0;
    const QFileInfo info(target);
    const QString suffix = info.suffix().toLower();
    // Made before the writer, so that the writer has closed the file when an
    // unfinished one is removed (Windows removes no open file).
    bank::NewFile file(target);
    std::unique_ptr<Writer> writer;
    if (suffix == u"csv")
        writer = std::make_unique<CsvWriter>();
    else if (suffix == u"xlsx")
        writer = std::make_unique<XlsxWriter>();
    else
        return failed(QStringLiteral("只能导出为 .csv 或 .xlsx 文件：%1").arg(target));
    if (!file.reserve(error))
        return false;
    const QString tempPath = file.path();

    QString reason;
    const bool bankColumns = layout == ExportLayout::Bank;
    const QStringList header =
        bankColumns
            ? QStringList{QStringLiteral("id"), QStringLiteral("tm"), QStringLiteral("da"),
                          QStringLiteral("xx")}
            : QStringList{QStringLiteral("题干"), QStringLiteral("A"), QStringLiteral("B"),
                          QStringLiteral("C"),    QStringLiteral("D"), QStringLiteral("答案")};
    if (!writer->open(tempPath, header, bankColumns ? QList<int>{0, 3} : QList<int>{}, &reason))
        return failed(QStringLiteral("无法写入 %1：%2").arg(target, reason));
    SourceRecord record;
    qint64 rows = 0;
    while (source.next(record)) {
        if (!record.question)
            return failed(QStringLiteral("%1：%2").arg(source.describeLocation(record.location),
                                                       record.errors.join(QStringLiteral("；"))));
        ++rows;
        const bank::Question &q = *record.question;
        std::optional<QStringList> cells;
        if (bankColumns) {
            cells = QStringList{text(q.id), q.tm.value_or(QString()), q.da.value_or(QString()),
                                text(q.xx)};
        } else if (cells = templateCells(q); !cells) {
            // Kept whole, so that nothing is lost.
            cells =
                QStringList{q.tm.value_or(QString()), QString(), QString(), QString(), QString(),
                            q.da.value_or(QString())};
            if (unsplit)
                unsplit(rows);
        }
        if (!writer->write(rows, *cells, &reason))
            return failed(QStringLiteral("无法写入 %1：%2").arg(target, reason));
        if (progress && rows % kProgressEvery == 0)
            progress(rows);
    }
    if (!source.error().isEmpty())
        return failed(source.error());
    if (!writer->close(&reason))
        return failed(QStringLiteral("无法写入 %1：%2").arg(target, reason));
    writer.reset();
    if (!file.place(error))
        return false;
    *written = rows;
    return true;
}

} // namespace authoring

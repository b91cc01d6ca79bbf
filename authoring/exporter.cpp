#include "authoring/exporter.h"

#include "bank/newfile.h"

#include <QFile>
#include <QFileInfo>

#include <xlsxwriter.h>

#include <dlfcn.h>

#include <type_traits>

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

class Writer
{
public:
    virtual ~Writer() = default;
    virtual bool open(const QString &path, QString *error) = 0;
    virtual bool write(qint64 row, const bank::Question &q, QString *error) = 0;
    virtual bool close(QString *error) = 0;
};

class CsvWriter : public Writer
{
public:
    bool open(const QString &path, QString *error) override
    {
        m_file.setFileName(path);
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            *error = m_file.errorString();
            return false;
        }
        m_buffer = "\xEF\xBB\xBFid,tm,da,xx\r\n";
        return true;
    }
    bool write(qint64, const bank::Question &q, QString *error) override
    {
        m_buffer += csvField(text(q.id)) + ',' + csvField(q.tm.value_or(QString())) + ',' +
                    csvField(q.da.value_or(QString())) + ',' + csvField(text(q.xx)) + "\r\n";
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

// libxlsxwriter bundles no zip code of its own: it calls the system's minizip,
// whose function names QuaZip's own copy of minizip also exports. Linked
// together, libxlsxwriter would call into QuaZip and crash. So it is loaded
// with RTLD_DEEPBIND, which makes it and its minizip find each other first.
struct XlsxLibrary
{
    decltype(&workbook_new_opt) newWorkbook = nullptr;
    decltype(&workbook_add_worksheet) addWorksheet = nullptr;
    decltype(&worksheet_write_string) writeString = nullptr;
    decltype(&worksheet_write_number) writeNumber = nullptr;
    decltype(&workbook_close) close = nullptr;
    decltype(&lxw_workbook_free) free = nullptr;
    decltype(&lxw_strerror) strerror = nullptr;
    QString error;

    static const XlsxLibrary &get()
    {
        static const XlsxLibrary library;
        return library;
    }

private:
    XlsxLibrary()
    {
#if defined(__SANITIZE_ADDRESS__)
        error = QStringLiteral("带 AddressSanitizer 的版本不能导出 .xlsx");
#else
        void *handle =
            dlopen("libxlsxwriter.so." LXW_SOVERSION, RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND);
        if (!handle) {
            error = QString::fromLocal8Bit(dlerror());
            return;
        }
        auto resolve = [&](auto &function, const char *name) {
            function =
                reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(handle, name));
            if (!function && error.isEmpty())
                error = QStringLiteral("libxlsxwriter 缺少 %1").arg(QLatin1String(name));
        };
        resolve(newWorkbook, "workbook_new_opt");
        resolve(addWorksheet, "workbook_add_worksheet");
        resolve(writeString, "worksheet_write_string");
        resolve(writeNumber, "worksheet_write_number");
        resolve(close, "workbook_close");
        resolve(free, "lxw_workbook_free");
        resolve(strerror, "lxw_strerror");
#endif
    }
};

class XlsxWriter : public Writer
{
public:
    ~XlsxWriter() override
    {
        // Given up half-way: free it without writing the file.
        if (m_workbook)
            m_lib.free(m_workbook);
    }
    bool open(const QString &path, QString *error) override
    {
        if (!m_lib.error.isEmpty()) {
            *error = m_lib.error;
            return false;
        }
        // Constant memory: each row goes to disk as soon as the next one starts.
        lxw_workbook_options options = {};
        options.constant_memory = LXW_TRUE;
        m_workbook = m_lib.newWorkbook(QFile::encodeName(path).constData(), &options);
        m_sheet = m_workbook ? m_lib.addWorksheet(m_workbook, nullptr) : nullptr;
        if (!m_sheet) {
            *error = QStringLiteral("无法建立工作簿");
            return false;
        }
        const char *header[] = {"id", "tm", "da", "xx"};
        for (lxw_col_t c = 0; c < 4; ++c)
            m_lib.writeString(m_sheet, 0, c, header[c], nullptr);
        return true;
    }
    bool write(qint64 row, const bank::Question &q, QString *error) override
    {
        if (row > kMaxSheetRows) {
            *error = QStringLiteral("Excel 工作表最多容纳 %1 道题").arg(kMaxSheetRows);
            return false;
        }
        const auto r = lxw_row_t(row);
        lxw_error result = LXW_NO_ERROR;
        auto number = [&](lxw_col_t c, const std::optional<qint64> &v) {
            if (v && result == LXW_NO_ERROR)
                result = m_lib.writeNumber(m_sheet, r, c, double(*v), nullptr);
        };
        auto string = [&](lxw_col_t c, const std::optional<QString> &v) {
            if (v && !v->isEmpty() && result == LXW_NO_ERROR)
                result = m_lib.writeString(m_sheet, r, c, v->toUtf8().constData(), nullptr);
        };
        number(0, q.id);
        string(1, q.tm);
        string(2, q.da);
        number(3, q.xx);
        if (result != LXW_NO_ERROR) {
            *error = QStringLiteral("第 %1 道题无法写入工作簿：%2")
                         .arg(row)
                         .arg(QString::fromUtf8(m_lib.strerror(result)));
            return false;
        }
        return true;
    }
    bool close(QString *error) override
    {
        const lxw_error result = m_lib.close(m_workbook);
        m_workbook = nullptr;
        if (result != LXW_NO_ERROR) {
            *error = QString::fromUtf8(m_lib.strerror(result));
            return false;
        }
        return true;
    }

private:
    const XlsxLibrary &m_lib = XlsxLibrary::get();
    lxw_workbook *m_workbook = nullptr;
    lxw_worksheet *m_sheet = nullptr;
};

} // namespace

QByteArray csvField(const QString &value)
{
    QByteArray utf8 = value.toUtf8();
    if (!utf8.contains(',') && !utf8.contains('"') && !utf8.contains('\n') && !utf8.contains('\r'))
        return utf8;
    utf8.replace("\"", "\"\"");
    return '"' + utf8 + '"';
}

QString exportSource(QuestionSource &source, const QString &target, qint64 *written,
                     const std::function<void(qint64 records)> &progress)
{
    *written = 0;
    const QFileInfo info(target);
    const QString suffix = info.suffix().toLower();
    std::unique_ptr<Writer> writer;
    if (suffix == u"csv")
        writer = std::make_unique<CsvWriter>();
    else if (suffix == u"xlsx")
        writer = std::make_unique<XlsxWriter>();
    else
        return QStringLiteral("只能导出为 .csv 或 .xlsx 文件：%1").arg(target);
    bank::NewFile file(target);
    if (QString reason = file.reserve(); !reason.isEmpty())
        return reason;
    const QString tempPath = file.path();

    QString error;
    if (!writer->open(tempPath, &error))
        return QStringLiteral("无法写入 %1：%2").arg(target, error);
    SourceRecord record;
    qint64 rows = 0;
    while (source.next(record)) {
        if (!record.question)
            return QStringLiteral("%1：%2").arg(source.describeLocation(record.location),
                                                record.errors.join(QStringLiteral("；")));
        ++rows;
        if (!writer->write(rows, *record.question, &error))
            return QStringLiteral("无法写入 %1：%2").arg(target, error);
        if (progress && rows % kProgressEvery == 0)
            progress(rows);
    }
    if (!source.error().isEmpty())
        return source.error();
    if (!writer->close(&error))
        return QStringLiteral("无法写入 %1：%2").arg(target, error);
    writer.reset();
    if (QString reason = file.place(); !reason.isEmpty())
        return reason;
    *written = rows;
    return QString();
}

} // namespace authoring

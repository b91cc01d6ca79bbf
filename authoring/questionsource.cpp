#include "authoring/questionsource.h"

#include "authoring/banksource.h"
#include "authoring/delimitedsource.h"
#include "authoring/docxsource.h"
#include "authoring/legacysource.h"
#include "authoring/odssource.h"
#include "authoring/olefile.h"
#include "authoring/textsource.h"
#include "authoring/xlssource.h"
#include "authoring/xlsxsource.h"
#include "authoring/zipreader.h"

#include <QFile>
#include <QFileInfo>

namespace authoring {

QString kindName(QuestionKind kind)
{
    switch (kind) {
    case QuestionKind::Single:
        return QStringLiteral("单选");
    case QuestionKind::TrueFalse:
        return QStringLiteral("判断");
    case QuestionKind::Multiple:
        return QStringLiteral("多选");
    case QuestionKind::FillIn:
        return QStringLiteral("填空");
    case QuestionKind::Essay:
        return QStringLiteral("简答");
    }
    return QString();
}

namespace {

const QString kSaveAsXlsx = QStringLiteral("请另存为 Excel 工作簿（.xlsx）再导入");

// Which kind of zip package `path` is: a workbook, a Word document, or one we
// name but cannot read.
std::optional<Format> zipFormat(const QString &path, QString *error)
{
    ZipReader zip;
    if (!zip.open(path)) {
        *error = zip.error();
        return std::nullopt;
    }
    if (zip.hasEntry(QStringLiteral("xl/workbook.bin"))) {
        *error = QStringLiteral("%1 是 Excel 二进制工作簿（.xlsb），无法读取：%2")
                     .arg(path, kSaveAsXlsx);
        return std::nullopt;
    }
    if (zip.hasEntry(QStringLiteral("Index/Document.iwa"))) {
        *error = QStringLiteral("%1 是 Apple Numbers 文件，无法读取：%2").arg(path, kSaveAsXlsx);
        return std::nullopt;
    }
    if (zip.hasEntry(QStringLiteral("mimetype")) &&
        zip.openEntry(QStringLiteral("mimetype"), 256)) {
        char type[257] = {};
        const qint64 got = zip.read(type, 256);
        if (got > 0 &&
            QByteArrayView(type, got) == "application/vnd.oasis.opendocument.spreadsheet")
            return Format::Ods;
    }
    if (zip.hasEntry(QStringLiteral("word/document.xml")))
        return Format::Docx;
    return Format::Xlsx;
}

std::optional<Format> oleFormat(const QString &path, QString *error)
{
    OleFile ole;
    if (!ole.open(path, error))
        return std::nullopt;
    const QStringList names = ole.names();
    if (names.contains(QStringLiteral("EncryptedPackage"))) {
        *error = QStringLiteral("%1 是加了密码的工作簿，无法读取：请在 Excel 里去掉密码，%2")
                     .arg(path, kSaveAsXlsx);
        return std::nullopt;
    }
    if (names.contains(QStringLiteral("Workbook")) || names.contains(QStringLiteral("Book")))
        return Format::Xls;
    if (names.contains(QStringLiteral("WordDocument"))) {
        *error =
            QStringLiteral("%1 是 Word 97-2003 文档（.doc），无法读取：请另存为 .docx").arg(path);
        return std::nullopt;
    }
    *error =
        QStringLiteral("%1 是 OLE 复合文档，但里面没有 Excel 工作簿：%2").arg(path, kSaveAsXlsx);
    return std::nullopt;
}

// Excel's "Unicode Text": UTF-16 LE with its BOM, the first line cut by tabs.
bool isUnicodeText(const QByteArray &head)
{
    if (!head.startsWith("\xFF\xFE"))
        return false;
    const QString text = QString::fromUtf16(
        reinterpret_cast<const char16_t *>(head.constData() + 2), (head.size() - 2) / 2);
    const qsizetype end = text.indexOf(u'\n');
    return text.left(end).contains(u'\t');
}

// A device or a pipe would never end, or block the opening itself.
bool isOrdinaryFile(const QString &path, QString *error)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isFile() || info.isDir())
        return true; // opening says what is wrong
    *error =
        QStringLiteral("无法读取 %1：它不是普通文件（而是设备或管道），请给出题目文件").arg(path);
    return false;
}

} // namespace

std::optional<Format> detectFormat(const QString &path, QString *error)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    // Numbers may keep a document as a folder.
    if (suffix == u"numbers") {
        *error = QStringLiteral("%1 是 Apple Numbers 文件，无法读取：%2").arg(path, kSaveAsXlsx);
        return std::nullopt;
    }
    if (!isOrdinaryFile(path, error))
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("无法读取 %1：%2").arg(path, file.errorString());
        return std::nullopt;
    }
    const QByteArray head = file.read(64 * 1024);
    if (head.startsWith("PK\x03\x04"))
        return zipFormat(path, error);
    if (head.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
        return oleFormat(path, error);
    if (head.startsWith(QByteArrayView("SQLite format 3\0", 16)))
        return Format::Bank;
    // Jet and ACE files alike, so that the formats we cannot read are named.
    if (isJetFile(path))
        return Format::Legacy;

    if (suffix == u"csv")
        return Format::Csv;
    if (suffix == u"tsv" || suffix == u"tab")
        return Format::Tsv;
    if (suffix == u"txt")
        return isUnicodeText(head) ? Format::Tsv : Format::Text;
    if (suffix == u"xlsx")
        return Format::Xlsx;
    *error = QStringLiteral(
                 "无法判断 %1 的格式，请用 --format 指定 csv、tsv、xlsx、xls、ods、docx 或 txt")
                 .arg(path);
    return std::nullopt;
}

std::unique_ptr<QuestionSource> openSource(const QString &path, const SourceOptions &options,
                                           QString *error)
{
    if (!isOrdinaryFile(path, error))
        return nullptr;
    const std::optional<Format> format =
        options.format ? options.format : detectFormat(path, error);
    if (!format)
        return nullptr;
    switch (*format) {
    case Format::Csv:
    case Format::Tsv: {
        auto source = std::make_unique<DelimitedSource>(*format);
        if (!source->open(path, options.encoding, error))
            return nullptr;
        return source;
    }
    case Format::Text: {
        auto source = std::make_unique<TextSource>();
        if (!source->open(path, options.encoding, error))
            return nullptr;
        return source;
    }
    case Format::Xlsx: {
        auto source = std::make_unique<XlsxSource>();
        if (!source->open(path, options.sheet, error))
            return nullptr;
        return source;
    }
    case Format::Xls: {
        auto source = std::make_unique<XlsSource>();
        if (!source->open(path, options.sheet, error))
            return nullptr;
        return source;
    }
    case Format::Ods: {
        auto source = std::make_unique<OdsSource>();
        if (!source->open(path, options.sheet, error))
            return nullptr;
        return source;
    }
    case Format::Docx: {
        auto source = std::make_unique<DocxSource>();
        if (!source->open(path, error))
            return nullptr;
        return source;
    }
    case Format::Bank: {
        auto source = std::make_unique<BankSource>();
        if (!source->open(path, error))
            return nullptr;
        return source;
    }
    case Format::Legacy:
        return openLegacySource(path, options, error);
    }
    return nullptr;
}

} // namespace authoring

#include "authoring/questionsource.h"

#include "authoring/banksource.h"
#include "authoring/delimitedsource.h"
#include "authoring/legacysource.h"
#include "authoring/textsource.h"
#include "authoring/xlsxsource.h"

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

std::optional<Format> detectFormat(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("无法读取 %1：%2").arg(path, file.errorString());
        return std::nullopt;
    }
    const QByteArray head = file.read(32);
    if (head.startsWith("PK\x03\x04"))
        return Format::Xlsx;
    if (head.startsWith(QByteArrayView("SQLite format 3\0", 16)))
        return Format::Bank;
    // Jet and ACE files alike, so that the formats we cannot read are named.
    if (isJetFile(path))
        return Format::Legacy;

    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"csv")
        return Format::Csv;
    if (suffix == u"tsv" || suffix == u"tab")
        return Format::Tsv;
    if (suffix == u"txt")
        return Format::Text;
    if (suffix == u"xlsx")
        return Format::Xlsx;
    *error =
        QStringLiteral("无法判断 %1 的格式，请用 --format 指定 csv、tsv、xlsx 或 txt").arg(path);
    return std::nullopt;
}

std::unique_ptr<QuestionSource> openSource(const QString &path, const SourceOptions &options,
                                           QString *error)
{
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

#include "bank/bankimport.h"

#include "bank/bankfile.h"
#include "bank/csvreader.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <limits>
#include <vector>

namespace bank {

namespace {

const QStringList kHeader = {QStringLiteral("id"), QStringLiteral("tm"), QStringLiteral("da"),
                             QStringLiteral("xx")};

} // namespace

QString importCsv(const QString &csvPath, const QString &bankPath, const QString &password,
                  int *rowsWritten)
{
    if (QFileInfo::exists(bankPath))
        return QStringLiteral("%1 已经存在，不会覆盖").arg(bankPath);

    QFile file(csvPath);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("无法读取 %1：%2").arg(csvPath, file.errorString());
    const QByteArray bytes = file.readAll();
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return QStringLiteral("%1 不是 UTF-8 编码的文本").arg(csvPath);

    // Every record is checked before the bank is written, so a bad line costs nothing.
    CsvReader reader(text);
    auto where = [&](int line) { return QStringLiteral("%1 第 %2 行：").arg(csvPath).arg(line); };
    QStringList fields;
    if (!reader.readRecord(fields)) {
        if (!reader.error().isEmpty())
            return where(reader.recordLine()) + reader.error();
        return QStringLiteral("%1 是空文件，缺少标题行 id,tm,da,xx").arg(csvPath);
    }
    QStringList header;
    for (const QString &name : fields)
        header.append(name.trimmed().toLower());
    if (header != kHeader)
        return where(reader.recordLine()) + QStringLiteral("标题行应当是 id,tm,da,xx，实际是 %1")
                                                .arg(fields.join(QLatin1Char(',')));

    std::vector<Question> questions;
    while (reader.readRecord(fields)) {
        const int line = reader.recordLine();
        // A blank line (a lone empty field) is passed over.
        if (fields.size() == 1 && fields.first().isEmpty())
            continue;
        if (fields.size() != 4)
            return where(line) + QStringLiteral("应当有 4 个字段，实际有 %1 个").arg(fields.size());
        Question q;
        bool idOk = false;
        bool xxOk = false;
        q.id = fields.at(0).trimmed().toLongLong(&idOk);
        q.xx = fields.at(3).trimmed().toLongLong(&xxOk);
        if (!idOk || q.id < std::numeric_limits<qint32>::min() ||
            q.id > std::numeric_limits<qint32>::max())
            return where(line) + QStringLiteral("id“%1”不是整数").arg(fields.at(0));
        if (!xxOk || q.xx < std::numeric_limits<qint32>::min() ||
            q.xx > std::numeric_limits<qint32>::max())
            return where(line) + QStringLiteral("xx“%1”不是整数").arg(fields.at(3));
        q.tm = fields.at(1);
        q.da = fields.at(2);
        questions.push_back(std::move(q));
    }
    if (!reader.error().isEmpty())
        return where(reader.recordLine()) + reader.error();

    size_t next = 0;
    const QString error = writeBank(bankPath, password, [&]() -> std::optional<Question> {
        if (next >= questions.size())
            return std::nullopt;
        return questions[next++];
    });
    if (error.isEmpty() && rowsWritten)
        *rowsWritten = int(questions.size());
    return error;
}

} // namespace bank

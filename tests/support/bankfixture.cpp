#include "tests/support/bankfixture.h"

#include "bank/database.h"
#include "bank/store.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTest>

#ifdef Q_OS_WIN
#include <unicode/ucnv.h>
#endif

namespace testsupport {

QString answerFor(qint64 id)
{
    return QString(QChar(u'A' + char16_t((id - 1) % 4)));
}

QString questionFor(qint64 id)
{
    return QStringLiteral("题目%1\nA.甲\nB.乙\nC.丙\nD.丁").arg(id);
}

void makeBank(const QString &path, int count, const std::function<bool(int)> &practised,
              const QString &password, qint64 firstId)
{
    int i = 0;
    QString error;
    const bool written = bank::writeBank(
        path, password.isNull() ? bank::kBankPassword : password,
        [&]() -> std::optional<bank::Question> {
            if (i >= count)
                return std::nullopt;
            const qint64 id = firstId + i;
            bank::Question q{id, questionFor(id), answerFor(id), practised && practised(i) ? 1 : 0};
            ++i;
            return q;
        },
        &error);
    if (!written)
        qFatal("cannot write test bank %s: %s", qPrintable(path), qPrintable(error));
}

void runSql(const QString &path, const QString &sql)
{
    bank::Database db;
    if (!db.open(path, bank::Database::OpenMode::Create) || !db.execute(sql))
        qFatal("SQL failed on %s: %s", qPrintable(path), qPrintable(db.lastError()));
}

namespace {

QList<qint64> column(const QString &path, const QString &sql)
{
    bank::Database db;
    if (!db.open(path, bank::Database::OpenMode::ReadOnly))
        qFatal("cannot open %s", qPrintable(path));
    bank::Statement statement(db, sql);
    QList<qint64> values;
    while (statement.step())
        values.append(statement.int64Value(0));
    return values;
}

} // namespace

QList<qint64> practisedIds(const QString &path)
{
    return column(path, QStringLiteral("SELECT id FROM kx WHERE xx = 1 ORDER BY rowid"));
}

QList<qint64> xxValues(const QString &path)
{
    return column(path, QStringLiteral("SELECT xx FROM kx ORDER BY rowid"));
}

QByteArray fileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result().toHex();
}

void clearExecutableFolder()
{
    const QDir folder(QCoreApplication::applicationDirPath());
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    for (const QFileInfo &entry : folder.entryInfoList(QDir::AllEntries | QDir::Hidden |
                                                       QDir::System | QDir::NoDotAndDotDot)) {
        // Under Wine the build's qt.conf tells Qt where its plugins and texts are.
        if (entry.fileName() == self || entry.fileName() == u"qt.conf")
            continue;
        const bool removed = entry.isDir() && !entry.isSymLink()
                                 ? QDir(entry.filePath()).removeRecursively()
                                 : QFile::remove(entry.filePath());
        if (!removed)
            qFatal("cannot clear %s", qPrintable(entry.filePath()));
    }
}

BankSession::BankSession(const QString &path)
{
    connected = ConnectAccessDb(connection, path, bank::kBankPassword);
    query.setConnection(&connection);
}

QByteArray encoded(const char *encoding, const QString &text)
{
#ifdef Q_OS_WIN
    if (qstrcmp(encoding, "GB18030") == 0) {
        QByteArray bytes(text.size() * 4, Qt::Uninitialized);
        UErrorCode status = U_ZERO_ERROR;
        const int32_t length = ucnv_convert(
            "gb18030", "utf-16le", bytes.data(), int32_t(bytes.size()),
            reinterpret_cast<const char *>(text.utf16()), int32_t(text.size() * 2), &status);
        return U_SUCCESS(status) ? bytes.left(length) : QByteArray();
    }
#endif
    QStringEncoder encoder(encoding);
    return encoder.encode(text);
}

} // namespace testsupport

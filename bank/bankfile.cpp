#include "bank/bankfile.h"

#include "bank/database.h"
#include "bank/newfile.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <QStringEncoder>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace bank {

namespace {

bool constantTimeEqual(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a.at(i) ^ b.at(i));
    return diff == 0;
}

std::optional<QByteArray> metaValue(Database &db, const QString &name)
{
    Statement statement(db, QStringLiteral("SELECT value FROM kelvaro_meta WHERE name = ?1"));
    if (!statement.isValid())
        return std::nullopt;
    statement.bindText(1, name);
    if (!statement.step())
        return std::nullopt;
    return statement.blobValue(0);
}

// Adds the rows of a new bank. A bank may hold millions of them, so each text
// is encoded into a buffer kept from row to row, and SQLite reads it in place.
class RowInserter
{
public:
    explicit RowInserter(Database &db)
        : m_db(db), m_insert(db, QStringLiteral("INSERT INTO kx VALUES (?1, ?2, ?3, ?4)"))
    {
        if (!m_insert.isValid())
            m_error = db.lastError();
    }

    bool insert(const Question &q)
    {
        if (!m_insert.isValid())
            return false;
        ++m_rows;
        const bool bound = bindInteger(1, q.id) && bindText(2, q.tm, m_tm) &&
                           bindText(3, q.da, m_da) && bindInteger(4, q.xx);
        if (bound)
            m_insert.step();
        const bool ok = bound && !m_insert.hasError();
        if (!ok)
            m_error = bound ? m_db.lastError() : refusal(q);
        m_insert.reset();
        return ok;
    }
    QString error() const { return m_error; }

private:
    bool bindInteger(int index, const std::optional<qint64> &value)
    {
        m_column = index;
        return value ? m_insert.bindInt64(index, *value) : m_insert.bindNull(index);
    }

    bool bindText(int index, const std::optional<QString> &value, QByteArray &buffer)
    {
        m_column = index;
        if (!value)
            return m_insert.bindNull(index);
        // Stateless: a stray half of a surrogate pair is replaced here, as
        // QString::toUtf8 does, instead of carrying over into the next text.
        buffer.resize(m_encoder.requiredSpace(value->size()));
        const char *end = m_encoder.appendToBuffer(buffer.data(), *value);
        return m_insert.bindBorrowedText(index, QByteArrayView(buffer.constData(), end));
    }

    // Names the record and the column whose value SQLite would not take.
    QString refusal(const Question &q) const
    {
        static const char *const columns[] = {"id", "tm", "da", "xx"};
        const QString record =
            q.id ? QStringLiteral("第 %1 条记录（id 为 %2）").arg(m_rows).arg(*q.id)
                 : QStringLiteral("第 %1 条记录（id 为空）").arg(m_rows);
        const QString column = QString::fromLatin1(columns[m_column - 1]);
        return m_db.lastErrorIsTooBig()
                   ? QStringLiteral("%1的 %2 太长，SQLite 存不下").arg(record, column)
                   : QStringLiteral("%1的 %2 无法写入：%3").arg(record, column, m_db.lastError());
    }

    Database &m_db;
    QStringEncoder m_encoder{QStringEncoder::Utf8, QStringEncoder::Flag::Stateless};
    // Bound in place: they outlive the statement that reads them.
    QByteArray m_tm;
    QByteArray m_da;
    Statement m_insert;
    QString m_error;
    qint64 m_rows = 0;
    int m_column = 0; // the parameter bound last, for naming a refused value
};

} // namespace

QByteArray derivePasswordHash(const QString &password, const QByteArray &salt, int iterations)
{
    QMessageAuthenticationCode mac(QCryptographicHash::Sha256, password.toUtf8());
    QByteArray block = salt;
    block.append("\x00\x00\x00\x01", 4);
    mac.addData(block);
    QByteArray u = mac.result();
    QByteArray t = u;
    for (int i = 1; i < iterations; ++i) {
        mac.reset();
        mac.addData(u);
        u = mac.result();
        for (qsizetype k = 0; k < t.size(); ++k)
            t[k] = char(t.at(k) ^ u.at(k));
    }
    return t;
}

BankCheck checkBank(Database &db, const QString &password, QString *detail)
{
    qint64 applicationId = 0;
    qint64 version = 0;
    {
        Statement statement(db, QStringLiteral("PRAGMA application_id"));
        if (!statement.isValid() || !statement.step()) {
            // Random bytes are reported by SQLite as "file is not a database".
            if (detail)
                *detail = db.lastError();
            return db.lastErrorIsNotADatabase() ? BankCheck::NotABank : BankCheck::Unreadable;
        }
        applicationId = statement.int64Value(0);
    }
    if (applicationId != kApplicationId)
        return BankCheck::NotABank;
    {
        Statement statement(db, QStringLiteral("PRAGMA user_version"));
        if (!statement.isValid() || !statement.step()) {
            if (detail)
                *detail = db.lastError();
            return BankCheck::Unreadable;
        }
        version = statement.int64Value(0);
    }
    if (version < 1)
        return BankCheck::NotABank;
    if (version > kFormatVersion)
        return BankCheck::NewerFormat;

    const auto salt = metaValue(db, QStringLiteral("password_salt"));
    const auto hash = metaValue(db, QStringLiteral("password_hash"));
    const auto rounds = metaValue(db, QStringLiteral("password_iterations"));
    if (!salt || !hash || !rounds)
        return BankCheck::NotABank;
    bool ok = false;
    const int iterations = QString::fromUtf8(*rounds).toInt(&ok);
    if (!ok || iterations < 1 || iterations > kMaxPasswordIterations)
        return BankCheck::NotABank;
    if (!constantTimeEqual(derivePasswordHash(password, *salt, iterations), *hash))
        return BankCheck::WrongPassword;
    return BankCheck::Ok;
}

QString bankCheckMessage(BankCheck check, const QString &path, const QString &detail)
{
    switch (check) {
    case BankCheck::Ok:
        break;
    case BankCheck::NotABank:
        return QStringLiteral("%1 不是本程序的题库文件").arg(path);
    case BankCheck::NewerFormat:
        return QStringLiteral("%1 是新版程序的题库，本程序读不了").arg(path);
    case BankCheck::WrongPassword:
        return QStringLiteral("题库密码不对：题库文件 %1 不是用本程序的密码制作的。").arg(path);
    case BankCheck::Unreadable:
        return QStringLiteral("无法读取题库文件 %1，文件可能已损坏。请换一份完好的题库\n%2")
            .arg(path, detail);
    }
    return {};
}

QStringList integrityProblems(Database &db)
{
    QStringList problems;
    Statement check(db, QStringLiteral("PRAGMA integrity_check"));
    while (check.step()) {
        const QString line = check.textValue(0);
        if (line != QLatin1String("ok"))
            problems.append(line);
    }
    if (check.hasError())
        problems.append(db.lastError());
    return problems;
}

BankError damagedBank(const QString &path, const QString &detail)
{
    return BankError(QStringLiteral("题库文件 %1 已损坏\n%2").arg(path, detail), Problem::Damaged,
                     path);
}

BankError writeFailure(Database &db)
{
    if (db.lastErrorIsNotWritable()) {
        const QString folder = QDir::toNativeSeparators(QFileInfo(db.path()).absolutePath());
        return BankError(QStringLiteral("写入题库失败：不允许在文件夹 %1 里修改题库 %2。"
                                        "请把本程序所在的整个文件夹复制到自己可以写入的地方"
                                        "（例如“文档”里），再从那里运行本程序\n%3")
                             .arg(folder, QFileInfo(db.path()).fileName(), db.lastError()),
                         Problem::ReadOnly, db.path());
    }
    if (db.lastErrorIsDamage())
        return damagedBank(db.path(), db.lastError());
    return BankError(QStringLiteral("写入题库失败\n%1").arg(db.lastError()));
}

namespace {

// A new name beside the bank for its copy; an existing file is never reused.
QString backupPathFor(const QString &path)
{
    const QString stem = path + QStringLiteral(".backup-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString candidate = stem;
    for (int n = 2; QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink(); ++n)
        candidate = stem + QStringLiteral("-%1").arg(n);
    return candidate;
}

// Waits until what was written to the open file `fd` is on the disk.
bool syncToDisk(int fd)
{
#ifdef Q_OS_WIN
    return ::_commit(fd) == 0;
#else
    return ::fsync(fd) == 0;
#endif
}

bool copyDurably(const QString &from, const QString &to, QString *error)
{
    if (!QFile::copy(from, to)) {
        *error = QStringLiteral("无法写备份 %1").arg(to);
        return false;
    }
    QFile copy(to);
    if (!copy.open(QIODevice::ReadWrite) || !syncToDisk(copy.handle())) {
        *error = QStringLiteral("无法把备份 %1 写到磁盘上").arg(to);
        return false;
    }
    return true;
}

} // namespace

bool repairBank(const QString &path, QString *done, QString *error)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isDir()) {
        *error = QStringLiteral("找不到题库文件 %1").arg(path);
        return false;
    }
    Database db;
    if (!db.open(path, Database::OpenMode::ReadWrite)) {
        *error = QStringLiteral("无法打开 %1（%2）").arg(path, db.lastError());
        return false;
    }
    {
        Statement id(db, QStringLiteral("PRAGMA application_id"));
        if (!id.step() || id.int64Value(0) != kApplicationId) {
            *error = QStringLiteral("%1 不是本程序的题库文件，没有改动").arg(path);
            return false;
        }
    }
    // The write lock keeps other copies of the program from writing while the copy is taken.
    Transaction reindex(db);
    if (!reindex.begin()) {
        *error = QStringLiteral("题库正被另一个程序使用，请先关闭它（%1）").arg(db.lastError());
        return false;
    }
    const QString backupPath = backupPathFor(path);
    if (!copyDurably(path, backupPath, error)) {
        QFile::remove(backupPath);
        *error += QStringLiteral("，没有改动题库");
        return false;
    }
    if (!db.execute(QStringLiteral("REINDEX")) || !reindex.commit()) {
        *error = QStringLiteral("重建索引失败（%1），题库没有改动；原样的备份在 %2")
                     .arg(db.lastError(), backupPath);
        return false;
    }
    const QStringList problems = integrityProblems(db);
    if (!problems.isEmpty()) {
        *error = QStringLiteral("已重建索引，但题库仍有损坏：%1；原样的备份在 %2")
                     .arg(problems.join(QStringLiteral("; ")), backupPath);
        return false;
    }
    *done = QStringLiteral("已重建索引，检查无误；原样的备份在 %1").arg(backupPath);
    return true;
}

bool writeBank(const QString &path, const QString &password,
               const std::function<std::optional<Question>()> &next, QString *error)
{
    // The row source may throw; the half-written file goes all the same.
    NewFile file(path);
    if (!file.reserve(error))
        return false;
    const QString tempPath = file.path();

    QString reason;
    {
        Database db;
        if (!db.open(tempPath, Database::OpenMode::Create)) {
            reason = db.lastError();
        } else {
            const QByteArray salt = [] {
                QByteArray bytes(16, Qt::Uninitialized);
                QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(bytes.data()),
                                                      bytes.size() / 4);
                return bytes;
            }();
            const QStringList settings = {
                QStringLiteral("PRAGMA journal_mode = OFF"),
                QStringLiteral("PRAGMA application_id = %1").arg(kApplicationId),
                QStringLiteral("PRAGMA user_version = %1").arg(kFormatVersion),
            };
            for (const QString &sql : settings) {
                if (reason.isEmpty() && !db.execute(sql))
                    reason = db.lastError();
            }
            Transaction write(db);
            if (reason.isEmpty() && !write.begin())
                reason = db.lastError();
            const QStringList schema = {
                QStringLiteral("CREATE TABLE kelvaro_meta (name TEXT PRIMARY KEY, value BLOB "
                               "NOT NULL)"),
                QStringLiteral("CREATE TABLE kx (id INTEGER, tm TEXT, da TEXT, xx INTEGER)"),
            };
            for (const QString &sql : schema) {
                if (reason.isEmpty() && !db.execute(sql))
                    reason = db.lastError();
            }
            if (reason.isEmpty()) {
                Statement meta(db, QStringLiteral("INSERT INTO kelvaro_meta VALUES (?1, ?2)"));
                const QList<QPair<QString, QByteArray>> values = {
                    {QStringLiteral("password_salt"), salt},
                    {QStringLiteral("password_iterations"),
                     QByteArray::number(kPasswordIterations)},
                    {QStringLiteral("password_hash"),
                     derivePasswordHash(password, salt, kPasswordIterations)},
                };
                for (const auto &[name, value] : values) {
                    meta.reset();
                    meta.bindText(1, name);
                    meta.bindBlob(2, value);
                    meta.step();
                    if (meta.hasError()) {
                        reason = db.lastError();
                        break;
                    }
                }
            }
            if (reason.isEmpty()) {
                RowInserter inserter(db);
                reason = inserter.error();
                while (reason.isEmpty()) {
                    const std::optional<Question> q = next();
                    if (!q)
                        break;
                    if (!inserter.insert(*q))
                        reason = inserter.error();
                }
            }
            // The index goes in last: building it once is faster than keeping it up per row.
            if (reason.isEmpty() && !db.execute(QStringLiteral("CREATE INDEX kx_xx ON kx (xx)")))
                reason = db.lastError();
            if (reason.isEmpty() && !write.commit())
                reason = db.lastError();
            if (reason.isEmpty() && !db.execute(QStringLiteral("PRAGMA journal_mode = DELETE")))
                reason = db.lastError();
        }
    }

    if (!reason.isEmpty()) {
        *error = reason;
        return false;
    }
    return file.place(error);
}

} // namespace bank

#include "bank/connection.h"

#include "bank/bankerror.h"
#include "bank/bankfile.h"
#include "bank/connectionstring.h"

#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace bank {

namespace {

const QString kProvider = QStringLiteral("Microsoft.Jet.OLEDB.4.0");

// The old program kept its bank in an Access (Jet) file: its first page names
// the engine after four bytes of page type.
bool isJetFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(20);
    return head.startsWith(QByteArrayView("\x00\x01\x00\x00", 4)) &&
           (head.mid(4).startsWith("Standard Jet DB") || head.mid(4).startsWith("Standard ACE DB"));
}

QString legacyBankMessage(const QString &path)
{
    const QFileInfo info(path);
    const QString converted = info.dir().filePath(QStringLiteral("kxst-new.db"));
    return QStringLiteral("%1 是旧版程序的题库（Access 格式），本程序不能直接打开。"
                          "请先把它转换成新格式：kelvaro-bank create %2 --from %3 ，"
                          "再把原来的 %4 移到别处保存，把 kxst-new.db 改名为 %4。")
        .arg(path, shellQuoted(converted), shellQuoted(path), info.fileName());
}

} // namespace

Connection::Connection(QObject *parent) : QObject(parent)
{
    m_failureReason = QStringLiteral("还没有连接题库");
}

Connection::~Connection()
{
    close();
}

void Connection::open()
{
    close();
    auto fail = [this](const QString &reason) {
        m_db.close();
        m_failureReason = reason;
        throw BankError(reason);
    };

    QString parseError;
    const auto parsed = ConnectionString::parse(m_connectionString, &parseError);
    if (!parsed)
        fail(parseError);
    const QString provider = parsed->value(QStringLiteral("Provider"));
    if (provider.compare(kProvider, Qt::CaseInsensitive) != 0)
        fail(QStringLiteral("不支持的数据提供程序“%1”").arg(provider));

    const QString mode = parsed->value(QStringLiteral("Mode"));
    if (mode.isEmpty() || mode.compare(QStringLiteral("ReadWrite"), Qt::CaseInsensitive) == 0 ||
        mode.compare(QStringLiteral("Write"), Qt::CaseInsensitive) == 0 ||
        mode.compare(QStringLiteral("Share Deny None"), Qt::CaseInsensitive) == 0) {
        m_readOnly = false;
    } else if (mode.compare(QStringLiteral("Read"), Qt::CaseInsensitive) == 0) {
        m_readOnly = true;
    } else {
        fail(QStringLiteral("不支持的打开方式“%1”").arg(mode));
    }

    const QString path = parsed->value(QStringLiteral("Data Source"));
    if (path.isEmpty())
        fail(QStringLiteral("连接字符串里没有题库文件的路径"));
    const QFileInfo info(path);
    if (!info.exists())
        fail(QStringLiteral("找不到题库文件 %1").arg(path));
    if (info.isDir())
        fail(QStringLiteral("%1 是文件夹，不是题库文件").arg(path));

    if (isJetFile(path))
        fail(legacyBankMessage(path));

    if (!m_db.open(path,
                   m_readOnly ? Database::OpenMode::ReadOnly : Database::OpenMode::ReadWrite)) {
        if (m_db.errorCode() == SQLITE_NOTADB)
            fail(QStringLiteral("%1 不是本程序的题库文件").arg(path));
        fail(QStringLiteral("无法打开题库文件 %1（%2）").arg(path, m_db.lastError()));
    }

    QString detail;
    switch (
        checkBank(m_db, parsed->value(QStringLiteral("Jet OLEDB:Database Password")), &detail)) {
    case BankCheck::Ok:
        break;
    case BankCheck::NotABank:
        fail(QStringLiteral("%1 不是本程序的题库文件").arg(path));
        break;
    case BankCheck::NewerFormat:
        fail(QStringLiteral("%1 是新版程序的题库，本程序读不了").arg(path));
        break;
    case BankCheck::WrongPassword:
        fail(QStringLiteral("题库密码不对"));
        break;
    case BankCheck::Unreadable:
        fail(QStringLiteral("无法读取题库文件 %1（%2）").arg(path, detail));
        break;
    }
    m_failureReason.clear();
}

void Connection::close()
{
    if (m_db.isOpen()) {
        emit aboutToClose();
        m_db.close();
        m_failureReason = QStringLiteral("题库连接已经关闭");
    }
}

} // namespace bank

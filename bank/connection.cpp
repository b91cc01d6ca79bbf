#include "bank/connection.h"

#include "bank/bankerror.h"
#include "bank/bankfile.h"
#include "bank/connectionstring.h"
#include "bank/jetfile.h"

#include <QDir>
#include <QFileInfo>

namespace bank {

namespace {

const QString kProvider = QStringLiteral("Microsoft.Jet.OLEDB.4.0");

} // namespace

Connection::Connection(QObject *parent) : QObject(parent)
{
    m_failure = BankError(QStringLiteral("还没有连接题库"), Problem::NotOpen);
}

Connection::~Connection()
{
    close();
}

void Connection::open()
{
    close();
    QString path;
    auto fail = [this, &path](const QString &reason, Problem problem = Problem::NotOpen) {
        m_db.close();
        m_failure = BankError(reason, problem, path);
        throw m_failure;
    };

    QString parseError;
    ConnectionString parsed;
    if (!parsed.parse(m_connectionString, &parseError))
        fail(parseError);
    const QString provider = parsed.value(QStringLiteral("Provider"));
    if (provider.compare(kProvider, Qt::CaseInsensitive) != 0)
        fail(QStringLiteral("不支持的数据提供程序“%1”").arg(provider));

    const QString mode = parsed.value(QStringLiteral("Mode"));
    if (mode.isEmpty() || mode.compare(QStringLiteral("ReadWrite"), Qt::CaseInsensitive) == 0 ||
        mode.compare(QStringLiteral("Write"), Qt::CaseInsensitive) == 0 ||
        mode.compare(QStringLiteral("Share Deny None"), Qt::CaseInsensitive) == 0) {
        m_readOnly = false;
    } else if (mode.compare(QStringLiteral("Read"), Qt::CaseInsensitive) == 0) {
        m_readOnly = true;
    } else {
        fail(QStringLiteral("不支持的打开方式“%1”").arg(mode));
    }

    path = parsed.value(QStringLiteral("Data Source"));
    if (path.isEmpty())
        fail(QStringLiteral("连接字符串里没有题库文件的路径"));
    const QFileInfo info(path);
    if (!info.exists())
        fail(QStringLiteral("找不到题库文件 %1。请把题库文件 %2 放进文件夹 %3，"
                            "或者按 Ctrl+O 从题目文件导入题库")
                 .arg(path, info.fileName(), QDir::toNativeSeparators(info.absolutePath())),
             Problem::Missing);
    if (info.isDir())
        fail(QStringLiteral("%1 是文件夹，不是题库文件").arg(path));

    if (isJetFile(path))
        fail(QStringLiteral("%1 是旧版程序的题库（Access 格式），要先转换成新的格式才能用来练习")
                 .arg(path),
             Problem::OldFormat);

    if (!m_db.open(path,
                   m_readOnly ? Database::OpenMode::ReadOnly : Database::OpenMode::ReadWrite)) {
        if (m_db.lastErrorIsNotADatabase())
            fail(bankCheckMessage(BankCheck::NotABank, path));
        fail(QStringLiteral("无法打开题库文件 %1\n%2").arg(path, m_db.lastError()));
    }

    QString detail;
    const BankCheck check =
        checkBank(m_db, parsed.value(QStringLiteral("Jet OLEDB:Database Password")), &detail);
    if (check == BankCheck::WrongPassword)
        fail(bankCheckMessage(check, path) +
                 QStringLiteral("请换一份本程序的题库，或者按 Ctrl+O 从题目文件导入题库"),
             Problem::WrongPassword);
    if (check != BankCheck::Ok)
        fail(bankCheckMessage(check, path, detail));
    m_failure = BankError(QString());
}

void Connection::close()
{
    if (m_db.isOpen()) {
        emit aboutToClose();
        m_db.close();
        m_failure = BankError(QStringLiteral("题库连接已经关闭"), Problem::NotOpen);
    }
}

} // namespace bank

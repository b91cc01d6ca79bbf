#include "bank/newfile.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

namespace bank {

NewFile::~NewFile()
{
    if (!m_placed && !m_path.isEmpty())
        QFile::remove(m_path);
}

QString NewFile::reserve()
{
    const QFileInfo target(m_target);
    if (target.exists() || target.isSymLink())
        return QStringLiteral("%1 已经存在，不会覆盖").arg(m_target);
    QTemporaryFile reserved(target.absolutePath() + QStringLiteral("/.") + target.fileName() +
                            QStringLiteral(".XXXXXX"));
    reserved.setAutoRemove(false);
    if (!reserved.open())
        return QStringLiteral("无法在 %1 中写文件：%2")
            .arg(target.absolutePath(), reserved.errorString());
    m_path = reserved.fileName();
    return {};
}

QString NewFile::place()
{
    // The reserved name was private to us; the file itself is an ordinary one.
    QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ReadGroup | QFileDevice::ReadOther);
    if (!QFile::rename(m_path, m_target))
        return QStringLiteral("%1 已经存在或无法写入").arg(m_target);
    m_placed = true;
    return {};
}

} // namespace bank

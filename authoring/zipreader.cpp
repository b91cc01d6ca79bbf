#include "authoring/zipreader.h"

#include <QFile>

#include <unzip.h>

#include <algorithm>
#include <limits>

namespace authoring {

namespace {

// unzLocateFile: compare names without regard to case.
constexpr int kCaseInsensitive = 2;
// General purpose flag bit 0: the entry is encrypted.
constexpr uLong kEncrypted = 0x1;

unzFile handle(void *zip)
{
    return static_cast<unzFile>(zip);
}

} // namespace

QString sizeInWords(qint64 bytes)
{
    if (bytes >= (qint64(1) << 30) && bytes % (qint64(1) << 30) == 0)
        return QStringLiteral("%1 GiB").arg(bytes >> 30);
    if (bytes >= (1 << 20) && bytes % (1 << 20) == 0)
        return QStringLiteral("%1 MiB").arg(bytes >> 20);
    return QStringLiteral("%1 字节").arg(bytes);
}

ZipReader::~ZipReader()
{
    closeEntry();
    if (m_zip)
        unzClose(handle(m_zip));
}

bool ZipReader::fail(const QString &message)
{
    m_error = message;
    closeEntry();
    return false;
}

void ZipReader::closeEntry()
{
    if (m_entryOpen)
        unzCloseCurrentFile(handle(m_zip));
    m_entryOpen = false;
}

bool ZipReader::open(const QString &path)
{
    m_path = path;
    m_zip = unzOpen64(QFile::encodeName(path).constData());
    if (!m_zip)
        return fail(
            QStringLiteral("无法打开 %1：不是 zip 格式的 Excel 工作簿，或文件已损坏").arg(path));
    return true;
}

bool ZipReader::hasEntry(const QString &name)
{
    closeEntry();
    return unzLocateFile(handle(m_zip), name.toUtf8().constData(), kCaseInsensitive) == UNZ_OK;
}

bool ZipReader::openEntry(const QString &name, qint64 cap)
{
    closeEntry();
    m_entry = name;
    m_cap = cap;
    m_read = 0;
    m_error.clear();
    if (unzLocateFile(handle(m_zip), name.toUtf8().constData(), kCaseInsensitive) != UNZ_OK)
        return fail(QStringLiteral("%1 不是完整的 Excel 工作簿：缺少 %2").arg(m_path, name));
    unz_file_info64 info = {};
    if (unzGetCurrentFileInfo64(handle(m_zip), &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
        return fail(QStringLiteral("%1 中 %2 的目录项已损坏").arg(m_path, name));
    if (info.flag & kEncrypted)
        return fail(QStringLiteral("%1 中的 %2 加了密码，无法读取").arg(m_path, name));
    if (unzOpenCurrentFile(handle(m_zip)) != UNZ_OK)
        return fail(QStringLiteral("无法读取 %1 中的 %2：zip 数据已损坏，或用了不支持的压缩方式")
                        .arg(m_path, name));
    m_entryOpen = true;
    m_recordedSize = info.uncompressed_size;
    return true;
}

qint64 ZipReader::read(char *data, qint64 size)
{
    if (!m_entryOpen)
        return m_error.isEmpty() ? 0 : -1;
    // One byte past the cap is enough to know it is passed.
    const qint64 room = m_cap - m_read + 1;
    const qint64 wanted = std::min({size, room, qint64(std::numeric_limits<int>::max())});
    const int got = unzReadCurrentFile(handle(m_zip), data, unsigned(wanted));
    if (got < 0) {
        fail(QStringLiteral("%1 中的 %2 已损坏：解压出错，zip 数据不完整或被改动过")
                 .arg(m_path, m_entry));
        return -1;
    }
    m_read += got;
    if (m_read > m_cap) {
        fail(QStringLiteral("%1 中的 %2 解压后超过 %3，不像是题库，没有读下去")
                 .arg(m_path, m_entry, sizeInWords(m_cap)));
        return -1;
    }
    if (got > 0)
        return got;

    // The end. minizip checks the CRC only when as many bytes came out as the
    // zip recorded, so the count is checked too.
    m_entryOpen = false;
    const int closed = unzCloseCurrentFile(handle(m_zip));
    if (quint64(m_read) != m_recordedSize) {
        fail(QStringLiteral("%1 中的 %2 已损坏：解压出的大小与 zip 记录的不符")
                 .arg(m_path, m_entry));
        return -1;
    }
    if (closed != UNZ_OK) {
        fail(closed == UNZ_CRCERROR
                 ? QStringLiteral("%1 中的 %2 已损坏：CRC 校验不符，内容被改动过")
                       .arg(m_path, m_entry)
                 : QStringLiteral("%1 中的 %2 已损坏").arg(m_path, m_entry));
        return -1;
    }
    return 0;
}

qint64 ZipReader::position() const
{
    return m_entryOpen ? qint64(unzGetCurrentFileZStreamPos64(handle(m_zip))) : 0;
}

} // namespace authoring

#include "authoring/olefile.h"

namespace authoring {

namespace {

// A workbook's directory holds a handful of entries.
constexpr int kMaxDirectorySectors = 1024;
// The small streams are read whole to reach one; they are small by definition.
constexpr qint64 kMaxMiniBytes = qint64(16) << 20;
constexpr quint32 kEndOfChain = 0xFFFFFFFE;

quint32 le32(const QByteArray &bytes, qsizetype at)
{
    return quint32(quint8(bytes[at])) | quint32(quint8(bytes[at + 1])) << 8 |
           quint32(quint8(bytes[at + 2])) << 16 | quint32(quint8(bytes[at + 3])) << 24;
}

quint16 le16(const QByteArray &bytes, qsizetype at)
{
    return quint16(quint8(bytes[at]) | quint8(bytes[at + 1]) << 8);
}

} // namespace

bool OleFile::open(const QString &path, QString *error)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("无法读取 %1：%2").arg(path, m_file.errorString());
        return false;
    }
    const auto damaged = [&](const QString &what) {
        *error = QStringLiteral("%1 的 OLE 目录已损坏：%2").arg(path, what);
        return false;
    };
    m_header = m_file.read(512);
    if (m_header.size() < 512 || !m_header.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
        return damaged(QStringLiteral("文件头不对"));
    const quint16 shift = le16(m_header, 30);
    if (shift != 9 && shift != 12)
        return damaged(QStringLiteral("扇区大小不对"));
    m_sectorSize = qint64(1) << shift;
    // Sector 0 follows the header, which fills the first sector of its size.
    m_sectors = m_file.size() / m_sectorSize - 1;

    quint32 sector = le32(m_header, 48);
    for (int count = 0; sector != kEndOfChain; ++count) {
        QByteArray directory;
        if (count == kMaxDirectorySectors || !readSector(sector, &directory))
            return damaged(QStringLiteral("目录扇区 %1 不在文件之中").arg(sector));
        for (qsizetype at = 0; at + 128 <= directory.size(); at += 128) {
            const int length = le16(directory, at + 64);
            Entry entry;
            entry.type = quint8(directory[at + 66]);
            // A name longer than its 64 bytes would be read past them (libfreexl does).
            if (length > 64 || length % 2 || entry.type > 5 || (entry.type != 0 && length < 2))
                return damaged(QStringLiteral("目录项 %1 的名字或类型不对")
                                   .arg(count * (m_sectorSize / 128) + at / 128));
            if (entry.type == 0)
                continue;
            entry.name = QString::fromUtf16(
                reinterpret_cast<const char16_t *>(directory.constData() + at), length / 2 - 1);
            entry.start = le32(directory, at + 116);
            entry.size = le32(directory, at + 120) | quint64(le32(directory, at + 124)) << 32;
            // Version 3 files may leave junk in the size's high half.
            if (shift == 9)
                entry.size &= 0xFFFFFFFF;
            m_entries.append(entry);
        }
        const std::optional<quint32> next = nextSector(sector);
        if (!next)
            return damaged(QStringLiteral("目录扇区 %1 的链已断").arg(sector));
        sector = *next;
    }
    return true;
}

QStringList OleFile::names() const
{
    QStringList names;
    for (const Entry &entry : m_entries)
        names.append(entry.name);
    return names;
}

bool OleFile::readSector(quint32 sector, QByteArray *bytes)
{
    if (sector >= m_sectors || !m_file.seek((qint64(sector) + 1) * m_sectorSize))
        return false;
    *bytes = m_file.read(m_sectorSize);
    return bytes->size() == m_sectorSize;
}

std::optional<quint32> OleFile::fatSector(qint64 index)
{
    // The header lists the first 109 FAT sectors; the rest are listed in a
    // chain of DIFAT sectors, each ending with the next one's number.
    if (index < 109)
        return le32(m_header, 76 + index * 4);
    const qint64 perDifat = m_sectorSize / 4 - 1;
    quint32 difat = le32(m_header, 68);
    QByteArray bytes;
    for (qint64 k = index - 109;; k -= perDifat) {
        if (!readSector(difat, &bytes))
            return std::nullopt;
        if (k < perDifat)
            return le32(bytes, k * 4);
        difat = le32(bytes, perDifat * 4);
    }
}

std::optional<quint32> OleFile::nextSector(quint32 sector)
{
    const qint64 perSector = m_sectorSize / 4;
    const std::optional<quint32> fat = fatSector(sector / perSector);
    QByteArray bytes;
    if (!fat || !readSector(*fat, &bytes))
        return std::nullopt;
    return le32(bytes, (sector % perSector) * 4);
}

std::optional<QByteArray> OleFile::readChain(quint32 start, qint64 most)
{
    QByteArray data;
    QByteArray bytes;
    // A chain is never longer than the file, nor read past `most`.
    for (quint32 sector = start; data.size() < most;) {
        if (!readSector(sector, &bytes))
            return std::nullopt;
        data += bytes;
        const std::optional<quint32> next = nextSector(sector);
        if (!next)
            return std::nullopt;
        if (*next == kEndOfChain)
            break;
        sector = *next;
    }
    data.truncate(most);
    return data;
}

std::optional<QByteArray> OleFile::read(const QString &name, qint64 most)
{
    const auto entry = std::find_if(m_entries.cbegin(), m_entries.cend(),
                                    [&](const Entry &e) { return e.type == 2 && e.name == name; });
    if (entry == m_entries.cend())
        return std::nullopt;
    const qint64 wanted = qint64(qMin<quint64>(entry->size, quint64(most)));
    if (entry->size >= le32(m_header, 56)) {
        std::optional<QByteArray> data = readChain(entry->start, wanted);
        // A chain that ends before the stream's size is broken.
        if (data && data->size() < wanted)
            return std::nullopt;
        return data;
    }

    // A small stream lies in the mini stream, the root's data, in sectors of
    // 64 bytes chained by the mini FAT.
    const auto root = std::find_if(m_entries.cbegin(), m_entries.cend(),
                                   [](const Entry &e) { return e.type == 5; });
    if (root == m_entries.cend())
        return std::nullopt;
    const qint64 miniSize = qint64(1) << qMin<quint16>(le16(m_header, 32), 12);
    const std::optional<QByteArray> miniFat = readChain(le32(m_header, 60), kMaxMiniBytes);
    const std::optional<QByteArray> mini =
        readChain(root->start, qint64(qMin<quint64>(root->size, kMaxMiniBytes)));
    if (!miniFat || !mini)
        return std::nullopt;
    QByteArray data;
    for (quint32 sector = entry->start; data.size() < wanted;) {
        if (qint64(sector) * miniSize + miniSize > mini->size() ||
            qint64(sector) * 4 + 4 > miniFat->size())
            return std::nullopt;
        data += mini->mid(qint64(sector) * miniSize, miniSize);
        sector = le32(*miniFat, qint64(sector) * 4);
    }
    data.truncate(wanted);
    return data;
}

} // namespace authoring

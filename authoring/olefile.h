#pragma once

#include <QByteArray>
#include <QFile>
#include <QStringList>

#include <optional>

namespace authoring {

// An OLE compound file (an Excel 97-2003 workbook, an encrypted Office
// package), read as far as its directory and the start of a stream. Every
// sector number is checked against the file and every chain is bounded, so a
// damaged file is named, never followed round a loop.
class OleFile
{
public:
    // False, with `error` naming the file, when it is not one or its directory is damaged.
    bool open(const QString &path, QString *error);

    // The names of the streams and storages in its directory.
    QStringList names() const;
    // Up to `most` bytes from the start of the stream `name`; nothing when it
    // is missing or its sectors cannot be followed that far.
    std::optional<QByteArray> read(const QString &name, qint64 most);

private:
    struct Entry
    {
        QString name;
        int type = 0; // 1 storage, 2 stream, 5 root
        quint32 start = 0;
        quint64 size = 0;
    };

    bool readSector(quint32 sector, QByteArray *bytes);
    std::optional<quint32> fatSector(qint64 index);
    std::optional<quint32> nextSector(quint32 sector);
    std::optional<QByteArray> readChain(quint32 start, qint64 most);

    QFile m_file;
    QByteArray m_header;
    qint64 m_sectorSize = 512;
    qint64 m_sectors = 0;
    QList<Entry> m_entries;
};

} // namespace authoring

#pragma once

#include <QString>

namespace authoring {

// A zip file read through the system's minizip, one entry at a time. An entry
// is read to its end, and only counts as read when its size and CRC match
// what the zip recorded for it; every inflate or read error is an error. The
// bytes that come out of an entry are counted as they come, so an entry that
// inflates past the cap it was opened with stops there, whatever its header
// claims. Messages are for the user and name the file and the entry.
class ZipReader
{
public:
    ZipReader() = default;
    ~ZipReader();
    ZipReader(const ZipReader &) = delete;
    ZipReader &operator=(const ZipReader &) = delete;

    // False, with error() set, when `path` cannot be read as a zip file.
    bool open(const QString &path);

    // Whether the zip holds `name`, compared as openEntry compares it; ends
    // any entry being read.
    bool hasEntry(const QString &name);

    // Starts reading `name` (compared as OPC compares part names, without
    // regard to case), ending any entry read before; at most `cap` bytes may
    // come out of it.
    bool openEntry(const QString &name, qint64 cap);

    // Up to `size` bytes of the entry; 0 once it is read whole and found
    // intact, -1 with error() set when it is damaged or past its cap.
    qint64 read(char *data, qint64 size);

    QString error() const { return m_error; }

    // Where in the file the compressed data read so far ends, for progress.
    qint64 position() const;

private:
    void closeEntry();
    bool fail(const QString &message);

    void *m_zip = nullptr; // unzFile
    QString m_path;
    QString m_entry;
    QString m_error;
    qint64 m_cap = 0;
    qint64 m_read = 0;
    quint64 m_recordedSize = 0;
    bool m_entryOpen = false;
};

// "64 MiB", "2 GiB": a cap as a message names it.
QString sizeInWords(qint64 bytes);

} // namespace authoring

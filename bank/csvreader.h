#pragma once

#include <QString>
#include <QStringList>

namespace bank {

// Reads RFC 4180 CSV from text already decoded: fields separated by commas,
// records by CR LF or LF, double quotes around a field that holds commas,
// quotes or line breaks, and a doubled quote for a quote inside it.
class CsvReader
{
public:
    explicit CsvReader(const QString &text);

    // Reads the next record; returns false at the end of the text or on an
    // error (then error() is set).
    bool readRecord(QStringList &fields);

    // The line on which the record last read (or the bad one) starts, from 1.
    int recordLine() const { return m_recordLine; }
    QString error() const { return m_error; }

private:
    QString m_text;
    qsizetype m_pos = 0;
    int m_line = 1;
    int m_recordLine = 0;
    QString m_error;
};

} // namespace bank

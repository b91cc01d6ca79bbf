#pragma once

#include "authoring/layout.h"
#include "authoring/questionsource.h"

#include <QStringList>

namespace authoring {

// A sheet of an Excel 97-2003 workbook (.xls), read through libfreexl. The
// sheet is the one named by `sheet` (its name, or its place from 1), else the
// first whose first row is a question header; the first record notes which
// sheet was read; hidden sheets are passed over unless named. Numbers are
// shown as Excel's General format shows them, dates as libfreexl gives them
// (2024-01-31).
class XlsSource : public QuestionSource
{
public:
    XlsSource() = default;
    ~XlsSource() override;
    XlsSource(const XlsSource &) = delete;
    XlsSource &operator=(const XlsSource &) = delete;

    bool open(const QString &path, const QString &sheet, QString *error);

    Format format() const override { return Format::Xls; }
    QString describeLocation(qint64 location) const override;
    bool next(SourceRecord &record) override;
    QString error() const override { return m_error; }
    qint64 bytesRead() const override { return m_totalBytes * m_row / qMax<qint64>(m_rows, 1); }
    qint64 totalBytes() const override { return m_totalBytes; }

private:
    bool readRow(unsigned row, QStringList &cells);
    bool select(unsigned short sheet);

    const void *m_handle = nullptr;
    QString m_path;
    QString m_sheetName;
    QString m_sheetNote;
    std::optional<Layout> m_layout;
    unsigned m_rows = 0;
    unsigned short m_columns = 0;
    unsigned m_row = 1; // the next row to read, from 0
    qint64 m_totalBytes = 0;
    QString m_error;
};

} // namespace authoring

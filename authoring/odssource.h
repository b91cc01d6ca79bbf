#pragma once

#include "authoring/layout.h"
#include "authoring/questionsource.h"
#include "authoring/xmlstream.h"
#include "authoring/zipreader.h"

#include <QSet>
#include <QStringList>

#include <deque>

namespace authoring {

// A sheet of an OpenDocument spreadsheet (.ods), read as content.xml is
// inflated. The sheet is the one named by `sheet` (its name, or its place
// from 1), else the first visible one whose first row is a question header;
// the first record notes which sheet was read. A cell is read as the
// spreadsheet shows it: its paragraphs, which hold numbers and dates already
// formatted. Repeated rows and cells are counted, never laid out blank by
// blank, and a sheet past the 1,048,576 rows and 16,384 columns a
// spreadsheet has is refused with its row and column.
class OdsSource : public QuestionSource, private XmlStream::Handler
{
public:
    OdsSource();
    ~OdsSource() override;

    bool open(const QString &path, const QString &sheet, QString *error);

    Format format() const override { return Format::Ods; }
    QString describeLocation(qint64 location) const override;
    bool next(SourceRecord &record) override;
    QString error() const override { return m_stream.error(); }
    qint64 bytesRead() const override { return m_zip.position(); }
    qint64 totalBytes() const override { return m_totalBytes; }

private:
    void startElement(const char *name, const char **attributes) override;
    void endElement(const char *name) override;
    void characters(QByteArrayView text) override;
    std::optional<qint64> repeat(const char **attributes, QByteArrayView name, qint64 most);
    void endRow();
    bool fail(const QString &problem);

    struct Row
    {
        qint64 location = 0;
        qint64 repeat = 1;
        QStringList cells;
    };

    ZipReader m_zip;
    XmlStream m_stream;
    QString m_path;
    QString m_wanted; // the sheet asked for
    qint64 m_totalBytes = 0;
    QSet<QString> m_hiddenStyles;
    QString m_styleName; // of the table style being read
    QStringList m_sheets;
    QStringList m_passed;
    QString m_sheetName;
    QString m_firstProblem;
    enum class Table
    {
        Outside,
        Header, // the first row of a sheet, to see whether it is a question header
        Reading,
        Skipping,
        Done
    };
    Table m_table = Table::Outside;
    std::optional<Layout> m_layout;
    QString m_sheetNote;
    qint64 m_row = 0; // the last row begun, from 1
    qint64 m_rowRepeat = 1;
    QStringList m_cells;
    qint64 m_blankCells = 0; // blank cells not yet laid out, as they may end the row
    qsizetype m_rowChars = 0;
    bool m_inCell = false;
    qint64 m_cellRepeat = 1;
    QString m_cellText;
    int m_paragraphs = 0;
    int m_annotation = 0; // depth inside a comment, whose text is not the cell's
    std::deque<Row> m_rows;
};

} // namespace authoring

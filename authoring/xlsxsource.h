#pragma once

#include "authoring/layout.h"
#include "authoring/numberformat.h"
#include "authoring/questionsource.h"
#include "authoring/zipreader.h"

#include <QHash>
#include <QStringList>

#include <map>
#include <memory>

namespace authoring {

class XmlPart;

// One worksheet of an .xlsx workbook: the one named, or the first visible one
// whose first row is a question header. Only the shared strings are held
// in memory; the sheet itself is read a row at a time as it is inflated.
// Cells are shown as Excel shows them: numbers through their number format,
// text with Excel's _xHHHH_ escapes undone. A damaged or hostile workbook
// (a bad CRC, a zip bomb, cells out of place or out of Excel's range) is an
// error naming the part, or the row and the cell.
class XlsxSource : public QuestionSource
{
public:
    XlsxSource();
    ~XlsxSource() override;

    // `sheet` is a sheet's name or its number in tab order, from 1; empty for
    // the first visible sheet whose first row is a question header.
    bool open(const QString &path, const QString &sheet, QString *error);

    Format format() const override { return Format::Xlsx; }
    QString describeLocation(qint64 location) const override;
    bool next(SourceRecord &record) override;
    QString error() const override { return m_error; }
    QStringList remarks() const override;
    qint64 bytesRead() const override;
    qint64 totalBytes() const override { return m_totalBytes; }

    // Undoes the _xHHHH_ escapes Excel writes for characters XML cannot
    // hold: "_x000D_" is a carriage return, "_x005F_" an underscore.
    static QString decodeEscapes(const QString &text);

    // The column (from 0) and row (from 1) of a reference such as "AB12",
    // or nothing unless it names a cell in A1:XFD1048576.
    struct CellReference
    {
        int column = 0;
        qint64 row = 0;
    };
    static std::optional<CellReference> parseReference(QStringView reference);

private:
    struct Sheet
    {
        QString name;
        QString path; // the part in the zip
        bool hidden = false;
    };
    bool readWorkbook(QList<Sheet> *sheets, QString *stringsPath, QString *stylesPath);
    // Reads the first row of `sheet`; false with `problem` set when it is not
    // a question header (`empty` when it has no row), with error() set when
    // the sheet cannot be read.
    bool readHeader(const Sheet &sheet, QString *problem, bool *empty);
    bool readStyles(const QString &name);
    bool readSharedStrings(const QString &name);
    bool readRow(QStringList &cells);
    bool readCell(int column, QStringList &cells, qsizetype *rowChars);
    bool readText(qsizetype limit, QByteArray *text, bool *tooLong);
    bool readStringItem(qsizetype limit, QByteArray *text, bool *tooLong);
    QString sharedString(qsizetype index) const;
    std::optional<QString> showNumber(double value, qint64 style, QString *problem);
    bool failAt(const QString &cell, const QString &problem);
    bool fail(const QString &message);

    ZipReader m_zip;
    std::unique_ptr<XmlPart> m_part; // the part being read
    // The shared strings in UTF-8, one after another, and where each ends:
    // about half the memory of a list of strings.
    QByteArray m_strings;
    QList<quint32> m_stringEnds;
    QByteArray m_piece;                // one <t> of a string, kept for its memory
    QList<int> m_cellFormats;          // the number format of each cell style
    QHash<int, QString> m_formatCodes; // the workbook's own number formats
    std::map<int, NumberFormat> m_formats;
    bool m_date1904 = false;
    std::optional<Layout> m_layout;
    QStringList m_cells;
    QStringList m_cellErrors; // cells of this row that cannot be shown
    QStringList m_remarks;    // the sheet read, the sheets passed over
    QString m_path;
    QString m_error;
    qint64 m_totalBytes = 0;
    qint64 m_row = 0;
};

} // namespace authoring

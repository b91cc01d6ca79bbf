#pragma once

#include "authoring/layout.h"
#include "authoring/questionsource.h"

#include <QStringList>
#include <QXmlStreamReader>

#include <memory>

class QuaZip;
class QuaZipFile;

namespace authoring {

// The first worksheet of an .xlsx workbook. Only the shared strings are held
// in memory; the sheet itself is read a row at a time.
class XlsxSource : public QuestionSource
{
public:
    XlsxSource();
    ~XlsxSource() override;

    bool open(const QString &path, QString *error);

    Format format() const override { return Format::Xlsx; }
    QString describeLocation(qint64 location) const override;
    bool next(SourceRecord &record) override;
    QString error() const override { return m_error; }
    qint64 bytesRead() const override;
    qint64 totalBytes() const override { return m_totalBytes; }

    // A number as Excel shows it in the General format: 3, 3.5, -1.
    static QString generalNumber(const QString &stored);

private:
    bool readEntry(const QString &name, QByteArray *bytes, QString *error);
    bool readRow(QStringList &cells, qint64 *row);
    QString readCell(QString *reference);

    std::unique_ptr<QuaZip> m_zip;
    std::unique_ptr<QuaZipFile> m_sheet;
    QXmlStreamReader m_xml;
    QStringList m_sharedStrings;
    std::optional<Layout> m_layout;
    QStringList m_cells;
    QString m_path;
    QString m_error;
    qint64 m_totalBytes = 0;
    qint64 m_row = 0;
};

} // namespace authoring

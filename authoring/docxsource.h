#pragma once

#include "authoring/layout.h"
#include "authoring/questionsource.h"
#include "authoring/textsource.h"

#include <QStringList>

#include <deque>

namespace authoring {

// A Word document (.docx). Its paragraphs are read as the text template, a
// paragraph a line (a line break inside one starts another line, a table row
// a line of its cells cut by tabs), with
// Word's own list numbers written out as Word shows them ("1." before a
// question, "A." before an option) from numbering.xml. When a table's first
// row is a question header, that table is read instead, a row a record, as a
// sheet is. The document is held while it is read: it is bounded, as a paper is.
class DocxSource : public QuestionSource
{
public:
    DocxSource();

    bool open(const QString &path, QString *error);

    Format format() const override { return Format::Docx; }
    QString describeLocation(qint64 location) const override;
    bool next(SourceRecord &record) override;
    QString error() const override { return m_parser.error(); }
    qint64 bytesRead() const override { return m_done; }
    qint64 totalBytes() const override { return m_total; }

    // One paragraph, or one row of a table, of the body.
    struct Block
    {
        int table = 0; // from 1 for a row of a table; 0 for a paragraph
        QString text;  // a paragraph's text, numbering written out
        QStringList cells;
    };

private:
    std::deque<Block> m_blocks;
    std::optional<Layout> m_layout;
    int m_table = 0; // the table read as a sheet
    TemplateParser m_parser;
    qint64 m_location = 0;
    bool m_finished = false;
    qint64 m_done = 0;
    qint64 m_total = 0;
};

} // namespace authoring

#pragma once

#include "authoring/questionsource.h"
#include "authoring/textinput.h"

namespace authoring {

// The plain-text template authors paste from a document:
//
//   1. question (may run over several lines)
//   A. option
//   B. option
//   C. option
//   D. option
//   答案：B
//
// A question is numbered "1." "1、" "1．" "（1）" or "(1)"; an option is
// lettered "A." "A、" "A．" "A:" "A：" or "(A)"; the answer line reads
// "答案：B", "答案:B", "【答案】B" or "正确答案：B". Blank lines are passed over.
class TextSource : public QuestionSource
{
public:
    bool open(const QString &path, Encoding encoding, QString *error);

    Format format() const override { return Format::Text; }
    QString describeLocation(qint64 location) const override;
    bool next(SourceRecord &record) override;
    QString error() const override { return m_lines ? m_lines->error() : m_input.error(); }
    qint64 bytesRead() const override { return m_input.bytesRead(); }
    qint64 totalBytes() const override { return m_input.totalBytes(); }

private:
    bool nextLine();

    TextInput m_input;
    std::optional<LineReader> m_lines;
    QString m_line;
    bool m_havePending = false; // m_line is read but not yet used
    qint64 m_position = 0;
};

} // namespace authoring

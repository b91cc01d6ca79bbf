#pragma once

#include "authoring/questionsource.h"
#include "authoring/textinput.h"

#include <QHash>

#include <deque>
#include <functional>
#include <memory>

namespace authoring {

// Reads the plain-text template as a paper prints it, a line at a time:
//
//   一、单项选择题
//   1. 中国的首都是（ ）。
//   A. 上海    B. 北京
//   C. 广州    D. 深圳
//   答案：B
//   解析：……
//
// A question is numbered "1." "1、" "1．" "1)" "（1）" or "第1题"; its options
// stand one to a line, two to a line or side by side (see splitOptions). The
// answer is an answer line ("答案：B", "答案 A", "参考答案：（B）", "【答案】B"),
// else a letter in the question's brackets ("中国的首都是（B）。", the letter
// taken out), else an answer key after the questions (a "参考答案" heading,
// then "1.B 2.C" or "1-5 BCADB"), matched by number. A heading such as
// "二、判断题" gives the kind of the questions under it: a true-or-false
// question is stored with the options 正确 and 错误; multiple-answer,
// fill-in and essay questions cannot be drilled and are errors. "解析：" up to
// the next question is left out, with a note. Blank lines inside a question
// are kept.
class TemplateParser
{
public:
    // `describe` names a location in messages ("第 3 行").
    explicit TemplateParser(std::function<QString(qint64)> describe);

    void addLine(const QString &line, qint64 location);
    // No more lines: the questions still waiting for an answer key get their verdict.
    void finish();
    // The next record ready to be handed out, in the order of the text.
    bool takeRecord(SourceRecord &record);
    // Set when the text holds more than the parser will keep while it waits
    // for an answer key; reading should stop.
    QString error() const { return m_error; }

    enum class Kind
    {
        Single,
        TrueFalse,
        Multiple,
        FillIn,
        Essay
    };

private:
    struct Block
    {
        qint64 location = 0;
        qint64 number = 0;
        Kind kind = Kind::Single;
        QStringList lines;
        qsizetype chars = 0;
        QString answer; // as written on an answer line
        qint64 answerLine = 0;
        qint64 secondAnswer = 0;
        qint64 analysisLine = 0;
        bool hasOptions = false;
        qsizetype checkedChars = 0; // the size when options were last looked for
    };
    struct Pending
    {
        SourceRecord record;
        qint64 number = 0;
        bool waiting = false; // for the answer key
        int options = 0;
        bool trueFalse = false; // with the options 正确 and 错误
        qsizetype chars = 0;    // held in the queue
    };

    void finishBlock();
    void stray(qint64 location, const QString &message);
    bool startsQuestion(qint64 number);
    void giveKeyAnswer(qint64 number, const QString &written, qint64 location);

    std::function<QString(qint64)> m_describe;
    Kind m_kind = Kind::Single;
    std::unique_ptr<Block> m_block; // the question being read
    bool m_inAnalysis = false;
    bool m_inKey = false;
    bool m_strayRun = false;
    std::deque<Pending> m_out;
    qsizetype m_heldChars = 0; // of the questions in m_out
    // Each question number, for the answer key: how many questions have it,
    // and the answer of the last one once given.
    struct Numbered
    {
        int count = 0;
        QString answer;
        qint64 location = 0;
        Pending *waiting = nullptr; // the question, while it waits for the key
    };
    QHash<qint64, Numbered> m_numbers;
    qint64 m_position = 0;
    QString m_error;
};

// The plain-text template in a file.
class TextSource : public QuestionSource
{
public:
    TextSource();

    bool open(const QString &path, Encoding encoding, QString *error);

    Format format() const override { return Format::Text; }
    QString describeLocation(qint64 location) const override;
    bool next(SourceRecord &record) override;
    QString error() const override;
    qint64 bytesRead() const override { return m_input.bytesRead(); }
    qint64 totalBytes() const override { return m_input.totalBytes(); }

private:
    TextInput m_input;
    std::optional<LineReader> m_lines;
    TemplateParser m_parser;
    bool m_finished = false;
};

} // namespace authoring

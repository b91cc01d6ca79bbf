#include "authoring/textsource.h"

#include "authoring/layout.h"
#include "authoring/optionsplit.h"

#include <QRegularExpression>

namespace authoring {

namespace {

// A question as long as the longest line: no question is near it.
constexpr qsizetype kMaxQuestionChars = LineReader::kMaxLineChars;
// Questions without an answer are held until the answer key after them; this
// much text of them is far more than any paper.
constexpr qsizetype kMaxWaitingChars = 64 * 1024 * 1024;

const QRegularExpression kNumber(QStringLiteral(
    R"(^\s*(?:第\s*(\d{1,9})\s*题\s*[.、．:：]?|(\d{1,9})\s*(?:\.(?!\d)|[、．)）])|[（(]\s*(\d{1,9})\s*[）)])\s*(.*)$)"));
const QRegularExpression
    kHeading(QStringLiteral(R"(^\s*[一二三四五六七八九十]{1,3}\s*[、.．]\s*(\S.*)$)"));
const QRegularExpression kAnswer(QStringLiteral(
    R"(^\s*(?:【\s*(?:参考|正确|标准)?答案\s*】|(?:参考|正确|标准)?答案(?:\s*[:：]|\s+|$))\s*(.*)$)"));
const QRegularExpression
    kAnalysis(QStringLiteral(R"(^\s*(?:【\s*(?:答案)?解析\s*】|(?:答案)?解析\s*[:：]))"));
// An answer left in the question's brackets: "中国的首都是（B）。".
const QRegularExpression kBracketAnswer(
    QStringLiteral(R"(([（(])\s*([A-DＡ-Ｄ]{1,4}|√|×|✓|✗|对|错|正确|错误)\s*([）)]))"));
// The pieces of an answer key, one after another: blanks and stops between
// entries, "3-7 BCADB" (captures 1 to 3), or "1.B" "2、（C）" (captures 4 and 5).
const QRegularExpression kKeyPiece(QStringLiteral(
    R"(\G(?:[\s,，;；、]+|(\d{1,6})\s*[-－—~～]\s*(\d{1,6})\s*[.、．:：]?\s*((?:[A-Da-dＡ-Ｄａ-ｄ√×]\s*)+))"
    R"(|(\d{1,6})\s*[.、．:：)）]?\s*[（(]?\s*([A-Da-dＡ-Ｄａ-ｄ]{1,4}|正确|错误|对|错|√|×)\s*[）)]?))"));

bool isBlank(const QString &line)
{
    return trimCell(line).isEmpty();
}

qint64 numberOf(const QRegularExpressionMatch &match)
{
    for (int i = 1; i <= 3; ++i) {
        if (match.capturedLength(i))
            return match.captured(i).toLongLong();
    }
    return 0;
}

TemplateParser::Kind kindOf(const QString &heading)
{
    using Kind = TemplateParser::Kind;
    if (heading.contains(u"判断"))
        return Kind::TrueFalse;
    if (heading.contains(u"多选") || heading.contains(u"多项") || heading.contains(u"不定项"))
        return Kind::Multiple;
    if (heading.contains(u"填空"))
        return Kind::FillIn;
    for (const char16_t *word : {u"简答", u"问答", u"论述", u"计算", u"名词解释", u"案例"}) {
        if (heading.contains(QStringView(word)))
            return Kind::Essay;
    }
    return Kind::Single;
}

// true, false or nothing for a written true-or-false answer.
std::optional<bool> trueOrFalse(const QString &answer)
{
    static const QStringList kTrue{QStringLiteral("正确"), QStringLiteral("对"),
                                   QStringLiteral("√"),    QStringLiteral("✓"),
                                   QStringLiteral("T"),    QStringLiteral("true")};
    static const QStringList kFalse{QStringLiteral("错误"), QStringLiteral("错"),
                                    QStringLiteral("×"),    QStringLiteral("✗"),
                                    QStringLiteral("F"),    QStringLiteral("false")};
    if (kTrue.contains(answer, Qt::CaseInsensitive))
        return true;
    if (kFalse.contains(answer, Qt::CaseInsensitive))
        return false;
    return std::nullopt;
}

// The answer as written without the brackets and the stop around it: "（B）", "B、".
QString cleanAnswer(const QString &written)
{
    static const QRegularExpression kBracketed(
        QStringLiteral(R"(^[（(【\[]\s*(.*?)\s*[）)】\]]$)"));
    QString answer = trimCell(written);
    const QRegularExpressionMatch match = kBracketed.match(answer);
    if (match.hasMatch())
        answer = match.captured(1);
    while (!answer.isEmpty() && QStringLiteral(".．、").contains(answer.back()))
        answer.chop(1);
    return trimCell(answer);
}

// The letter A to D a written answer gives, or an error on `record`.
void interpretAnswer(const QString &written, int options, bool trueFalse, SourceRecord &record)
{
    const QString answer = cleanAnswer(written);
    if (const std::optional<bool> truth = trueOrFalse(answer); truth && trueFalse) {
        record.question->da = *truth ? QStringLiteral("A") : QStringLiteral("B");
        return;
    }
    QString letters = answer;
    static const QRegularExpression kBetweenLetters(QStringLiteral(R"([\s,，、])"));
    letters.remove(kBetweenLetters);
    static const QRegularExpression kLetters(QStringLiteral("^[A-Da-dＡ-Ｄａ-ｄ]+$"));
    if (letters.size() > 1 && kLetters.match(letters).hasMatch()) {
        record.kind = QuestionKind::Multiple;
        record.errors.append(
            QStringLiteral("多选题（答案 %1）无法练习：每道题只能有一个答案").arg(letters));
        return;
    }
    takeAnswer(answer, record);
    if (record.errors.isEmpty() && record.question->da->at(0).unicode() - u'A' >= options)
        record.errors.append(QStringLiteral("答案 %1 不在选项之中（只有 A 到 %2）")
                                 .arg(*record.question->da)
                                 .arg(QChar(char16_t(u'A' + options - 1))));
}

// An answer as the key and an answered question can be compared.
QString normalAnswer(const QString &written)
{
    const QString answer = cleanAnswer(written);
    if (const std::optional<bool> truth = trueOrFalse(answer))
        return *truth ? QStringLiteral("A") : QStringLiteral("B");
    SourceRecord record;
    record.question.emplace();
    takeAnswer(answer, record);
    return record.question->da.value_or(answer);
}

QString composeChoices(const QString &stem, const QStringList &options)
{
    QString tm = stem;
    for (qsizetype i = 0; i < options.size(); ++i)
        tm += u'\n' + QChar(char16_t(u'A' + i)) + u'.' + options.at(i);
    return tm;
}

// The entries of an answer key line, or nothing when the line is not one.
std::optional<QList<std::pair<qint64, QString>>> parseKey(const QString &text)
{
    QList<std::pair<qint64, QString>> entries;
    qsizetype end = 0;
    // One pass over the line: a key of thousands of entries stays linear.
    for (const QRegularExpressionMatch &piece : kKeyPiece.globalMatch(text)) {
        end = piece.capturedEnd();
        if (piece.capturedLength(1)) {
            const qint64 first = piece.captured(1).toLongLong();
            const qint64 last = piece.captured(2).toLongLong();
            QString letters = piece.captured(3);
            static const QRegularExpression kBlanks(QStringLiteral(R"(\s)"));
            letters.remove(kBlanks);
            if (last < first || last - first + 1 != letters.size())
                return std::nullopt;
            for (qint64 n = first; n <= last; ++n)
                entries.append({n, letters.at(n - first)});
        } else if (piece.capturedLength(4)) {
            entries.append({piece.captured(4).toLongLong(), piece.captured(5)});
        }
    }
    if (end != text.size() || entries.isEmpty())
        return std::nullopt;
    return entries;
}

} // namespace

TemplateParser::TemplateParser(std::function<QString(qint64)> describe)
    : m_describe(std::move(describe))
{}

void TemplateParser::stray(qint64 location, const QString &message)
{
    // A run of stray lines is named once, by its first line.
    if (m_strayRun)
        return;
    m_strayRun = true;
    Pending pending;
    pending.record.location = location;
    pending.record.errors.append(message);
    m_out.push_back(std::move(pending));
}

bool TemplateParser::startsQuestion(qint64 number)
{
    Block &block = *m_block;
    if (number == block.number + 1)
        return true;
    // "1." "2." inside an explanation are its points.
    if (m_inAnalysis)
        return number > block.number;
    // Looked for again only once the question has doubled, so that a run of
    // numbered lines inside one question takes linear time.
    if (!block.hasOptions && block.chars >= 2 * block.checkedChars) {
        block.checkedChars = qMax<qsizetype>(block.chars, 1);
        block.hasOptions = splitOptions(block.lines.join(u'\n')).has_value();
    }
    return block.answerLine || block.kind != Kind::Single || block.hasOptions;
}

void TemplateParser::addLine(const QString &line, qint64 location)
{
    if (isBlank(line)) {
        if (m_block && !m_inAnalysis && !m_block->answerLine)
            m_block->lines.append(QString());
        return;
    }
    if (m_inKey) {
        if (const auto entries = parseKey(line)) {
            for (const auto &[number, answer] : *entries)
                giveKeyAnswer(number, answer, location);
            return;
        }
        if (kHeading.match(line).hasMatch())
            return;
        m_inKey = false;
    }

    if (const QRegularExpressionMatch heading = kHeading.match(line); heading.hasMatch()) {
        if (m_block)
            finishBlock();
        m_kind = kindOf(heading.captured(1));
        m_strayRun = false;
        return;
    }
    if (const QRegularExpressionMatch answer = kAnswer.match(line); answer.hasMatch()) {
        const QString rest = trimCell(answer.captured(1));
        const auto entries = parseKey(rest);
        if (rest.isEmpty() || (entries && !rest.startsWith(u'（') && !rest.startsWith(u'('))) {
            // The answer key after the questions.
            if (m_block)
                finishBlock();
            m_inKey = true;
            m_strayRun = false;
            if (entries) {
                for (const auto &[number, written] : *entries)
                    giveKeyAnswer(number, written, location);
            }
            return;
        }
        if (!m_block) {
            stray(location, QStringLiteral("答案行前面没有题目"));
            return;
        }
        if (m_block->answerLine)
            m_block->secondAnswer = location;
        else {
            m_block->answer = rest;
            m_block->answerLine = location;
        }
        return;
    }
    if (kAnalysis.match(line).hasMatch()) {
        if (!m_block) {
            stray(location, QStringLiteral("解析前面没有题目"));
            return;
        }
        if (!m_block->analysisLine)
            m_block->analysisLine = location;
        m_inAnalysis = true;
        return;
    }
    if (const QRegularExpressionMatch number = kNumber.match(line); number.hasMatch()) {
        const qint64 n = numberOf(number);
        if (!m_block || startsQuestion(n)) {
            if (m_block)
                finishBlock();
            m_block = std::make_unique<Block>();
            m_block->location = location;
            m_block->number = n;
            m_block->kind = m_kind;
            m_block->lines.append(number.captured(4));
            m_block->chars = number.capturedLength(4);
            m_strayRun = false;
            return;
        }
    }
    if (m_inAnalysis)
        return;
    if (!m_block) {
        stray(location, QStringLiteral("这里应当是带题号的题目，如“1. ……”"));
        return;
    }
    if (m_block->answerLine && m_block->kind == Kind::Single) {
        finishBlock();
        stray(location, QStringLiteral("这一行在答案行之后，应当是下一道带题号的题目"));
        return;
    }
    m_block->chars += line.size() + 1;
    if (m_block->chars <= kMaxQuestionChars)
        m_block->lines.append(line);
}

void TemplateParser::finishBlock()
{
    const Block block = std::move(*m_block);
    m_block.reset();
    m_inAnalysis = false;

    Pending pending;
    pending.number = block.number;
    SourceRecord &record = pending.record;
    record.location = block.location;
    record.question.emplace();
    bank::Question &q = *record.question;
    q.id = ++m_position;
    q.xx = 0;
    if (block.analysisLine)
        record.notes.append(QStringLiteral("%1起的解析未导入").arg(m_describe(block.analysisLine)));
    Numbered &numbered = m_numbers[block.number];
    ++numbered.count;
    numbered.location = block.location;
    numbered.answer.clear();

    // The kind decides whether --skip-unusable leaves the question out.
    record.kind = QuestionKind::Single;
    switch (block.kind) {
    case Kind::Multiple:
        record.kind = QuestionKind::Multiple;
        record.errors.append(QStringLiteral("多选题无法练习：每道题只能有一个答案"));
        break;
    case Kind::FillIn:
        record.kind = QuestionKind::FillIn;
        record.errors.append(QStringLiteral("填空题无法练习：没有 A 到 D 的选项"));
        break;
    case Kind::Essay:
        record.kind = QuestionKind::Essay;
        record.errors.append(QStringLiteral("简答题无法练习：没有 A 到 D 的选项"));
        break;
    case Kind::Single:
    case Kind::TrueFalse:
        break;
    }
    if (block.chars > kMaxQuestionChars)
        record.errors.append(
            QStringLiteral("这道题超过 %1 个字，不像是一道题").arg(kMaxQuestionChars));
    if (block.secondAnswer)
        record.errors.append(
            QStringLiteral("有两个答案行，第二个在%1").arg(m_describe(block.secondAnswer)));
    if (!record.errors.isEmpty()) {
        record.question.reset();
        m_out.push_back(std::move(pending));
        return;
    }

    const QString text = block.lines.join(u'\n');
    QString stem;
    QStringList options;
    if (const std::optional<SplitText> split = splitOptions(text)) {
        stem = split->before;
        options = split->options;
    } else {
        stem = trimCell(text);
    }
    QString answer = block.answer;
    if (!block.answerLine) {
        QRegularExpressionMatch found;
        for (const QRegularExpressionMatch &match : kBracketAnswer.globalMatch(stem)) {
            // Only a question without options takes a true-or-false answer.
            if (options.isEmpty() || trueOrFalse(match.captured(2)) == std::nullopt)
                found = match;
        }
        if (found.hasMatch()) {
            answer = found.captured(2);
            stem.replace(found.capturedStart(), found.capturedLength(),
                         found.captured(1) + u' ' + found.captured(3));
        }
    }
    pending.trueFalse =
        options.isEmpty() && (block.kind == Kind::TrueFalse || trueOrFalse(cleanAnswer(answer)));
    if (pending.trueFalse) {
        record.kind = QuestionKind::TrueFalse;
        options = QStringList{QStringLiteral("正确"), QStringLiteral("错误")};
        record.notes.append(QStringLiteral("判断题，按“A.正确”“B.错误”两个选项录入"));
    } else if (options.isEmpty()) {
        record.errors.append(QStringLiteral("没有找到选项，应当有“A. ……”“B. ……”等"));
    } else if (options.size() < 4) {
        record.notes.append(QStringLiteral("只有 %1 个选项").arg(options.size()));
    }
    for (qsizetype i = 0; i < options.size(); ++i) {
        if (options.at(i).isEmpty())
            record.errors.append(QStringLiteral("选项 %1 是空的").arg(QChar(char16_t(u'A' + i))));
    }
    if (stem.isEmpty())
        record.errors.append(QStringLiteral("题干是空的"));
    q.tm = composeChoices(stem, options);
    pending.options = int(options.size());
    if (!answer.isEmpty()) {
        interpretAnswer(answer, pending.options, pending.trueFalse, record);
        if (record.errors.isEmpty())
            numbered.answer = *q.da;
    } else if (record.errors.isEmpty()) {
        pending.waiting = true;
    }
    pending.chars = q.tm->size();
    m_heldChars += pending.chars;
    if (m_heldChars > kMaxWaitingChars)
        m_error = QStringLiteral("到%1为止，等待答案表的题目已超过 %2 个字")
                      .arg(m_describe(block.location))
                      .arg(kMaxWaitingChars);
    if (!record.errors.isEmpty())
        record.question.reset();
    m_out.push_back(std::move(pending));
    // The queue only grows at its back while this one waits, which keeps it in place.
    if (m_out.back().waiting)
        numbered.waiting = &m_out.back();
}

void TemplateParser::giveKeyAnswer(qint64 number, const QString &written, qint64 location)
{
    auto refuse = [&](const QString &message) {
        Pending pending;
        pending.record.location = location;
        pending.record.errors.append(message);
        m_out.push_back(std::move(pending));
    };
    const auto numbered = m_numbers.find(number);
    if (numbered == m_numbers.end()) {
        refuse(QStringLiteral("答案表里的第 %1 题找不到这个题号的题目").arg(number));
        return;
    }
    if (numbered->count > 1) {
        refuse(QStringLiteral("有 %1 道题的题号都是 %2，答案表对不上")
                   .arg(numbered->count)
                   .arg(number));
        return;
    }
    if (Pending *pending = std::exchange(numbered->waiting, nullptr)) {
        pending->waiting = false;
        interpretAnswer(written, pending->options, pending->trueFalse, pending->record);
        if (pending->record.errors.isEmpty())
            numbered->answer = *pending->record.question->da;
        else
            pending->record.question.reset();
        return;
    }
    if (numbered->answer.isEmpty())
        return; // a question already refused
    if (normalAnswer(written) != numbered->answer)
        refuse(QStringLiteral("第 %1 题（%2）有两个答案：%3，答案表里是 %4")
                   .arg(number)
                   .arg(m_describe(numbered->location), numbered->answer, cleanAnswer(written)));
}

void TemplateParser::finish()
{
    if (m_block)
        finishBlock();
    for (Pending &pending : m_out) {
        if (!pending.waiting)
            continue;
        pending.waiting = false;
        pending.record.question.reset();
        pending.record.errors.append(
            QStringLiteral("缺少答案：没有答案行，题干的括号里没有答案，答案表里也没有第 %1 题")
                .arg(pending.number));
    }
}

bool TemplateParser::takeRecord(SourceRecord &record)
{
    if (m_out.empty() || m_out.front().waiting)
        return false;
    record = std::move(m_out.front().record);
    m_heldChars -= m_out.front().chars;
    m_out.pop_front();
    return true;
}

TextSource::TextSource()
    : m_parser([](qint64 line) { return QStringLiteral("第 %1 行").arg(line); })
{}

bool TextSource::open(const QString &path, Encoding encoding, QString *error)
{
    if (!m_input.open(path, encoding, error))
        return false;
    m_lines.emplace(m_input);
    return true;
}

QString TextSource::describeLocation(qint64 location) const
{
    return QStringLiteral("第 %1 行").arg(location);
}

QString TextSource::error() const
{
    if (!m_parser.error().isEmpty())
        return m_parser.error();
    return m_lines ? m_lines->error() : m_input.error();
}

bool TextSource::next(SourceRecord &record)
{
    while (!m_parser.takeRecord(record)) {
        if (m_finished || !m_parser.error().isEmpty())
            return false;
        QString line;
        if (m_lines->readLine(line)) {
            m_parser.addLine(line, m_lines->lineNumber());
        } else {
            if (!m_lines->error().isEmpty())
                return false;
            m_parser.finish();
            m_finished = true;
        }
    }
    return true;
}

} // namespace authoring

#include "authoring/layout.h"

#include "authoring/optionsplit.h"

#include <QRegularExpression>

namespace authoring {

namespace {

// The fields of the template, in the order of Layout::m_columns.
enum Field
{
    Stem,
    OptionA,
    OptionE = OptionA + 4,
    Answer,
    Type,
    Options, // all of them in one cell
    TemplateFields
};

const QStringList kBankColumns = {QStringLiteral("id"), QStringLiteral("tm"), QStringLiteral("da"),
                                  QStringLiteral("xx")};

// A header cell as it is compared: full-width letters and brackets as ASCII
// (NFKC), lower case, without blanks.
QString headerKey(const QString &cell)
{
    QString key = cell.normalized(QString::NormalizationForm_KC).toLower();
    key.removeIf([](QChar c) { return c.isSpace(); });
    return key;
}

// The template field a header key names, or -1.
int templateField(const QString &key)
{
    static const QHash<QString, int> names = [] {
        QHash<QString, int> map;
        for (const char16_t *name : {u"题干", u"题目", u"问题", u"试题", u"question", u"stem"})
            map.insert(QString::fromUtf16(name), Stem);
        for (const char16_t *name :
             {u"答案", u"正确答案", u"参考答案", u"标准答案", u"answer", u"key"})
            map.insert(QString::fromUtf16(name), Answer);
        for (const char16_t *name : {u"题型", u"类型", u"type"})
            map.insert(QString::fromUtf16(name), Type);
        for (const char16_t *name : {u"选项", u"options"})
            map.insert(QString::fromUtf16(name), Options);
        for (int i = 0; i <= OptionE - OptionA; ++i) {
            const QString letter(QChar(u'a' + i));
            for (const QString &name :
                 QStringList{letter, QStringLiteral("选项") + letter,
                             letter + QStringLiteral("选项"), QStringLiteral("option") + letter})
                map.insert(name, OptionA + i);
        }
        return map;
    }();
    return names.value(key, -1);
}

// A column that only numbers the rows.
bool isIndexColumn(const QString &key)
{
    return key.isEmpty() || key == u"序号" || key == u"题号" || key == u"编号";
}

// "正确答案(只能输入ABCD否则报错)": a known name with a remark in brackets.
const QRegularExpression kRemark(QStringLiteral(R"(^([^(\[【]+)[(\[【].*[)\]】]$)"));

// An answer cell as authors write it, and what it says.
struct WrittenAnswer
{
    QString letters;           // the option letters, capitals, when it names options
    std::optional<bool> truth; // 正确 or 错误, when it says one of them
};

const QRegularExpression kAnswerWords(QStringLiteral(R"(^(?:答案\s*:?|选)(.*)$)"),
                                      QRegularExpression::DotMatchesEverythingOption);
// No lazy match here: on a cell of blanks it would take quadratic time.
const QRegularExpression kBracketed(QStringLiteral(R"(^[(【](.*)[)】]$)"),
                                    QRegularExpression::DotMatchesEverythingOption);
const QRegularExpression kLetters(QStringLiteral(R"(^[A-Ea-e](?:[\s,，、;；]*[A-Ea-e])*$)"));

WrittenAnswer readAnswer(const QString &written)
{
    WrittenAnswer answer;
    // Most answers are a capital alone: no need for the rest.
    if (written.size() == 1 && written.at(0) >= u'A' && written.at(0) <= u'D') {
        answer.letters = written;
        return answer;
    }
    // NFKC makes full-width letters, brackets, colons and stops ASCII.
    QString text = trimCell(written).normalized(QString::NormalizationForm_KC);
    if (const auto words = kAnswerWords.match(text); words.hasMatch())
        text = trimCell(words.captured(1));
    if (const auto bracketed = kBracketed.match(text); bracketed.hasMatch())
        text = trimCell(bracketed.captured(1));
    while (text.endsWith(u'.') || text.endsWith(u'、'))
        text.chop(1);
    const QString word = text.toLower();
    static const QStringList yes = {QStringLiteral("正确"), QStringLiteral("对"),
                                    QStringLiteral("√"), QStringLiteral("t"),
                                    QStringLiteral("true")};
    static const QStringList no = {QStringLiteral("错误"), QStringLiteral("错"),
                                   QStringLiteral("×"), QStringLiteral("f"),
                                   QStringLiteral("false")};
    if (yes.contains(word))
        answer.truth = true;
    else if (no.contains(word))
        answer.truth = false;
    else if (kLetters.match(text).hasMatch())
        for (const QChar c : text)
            if (c.isLetter())
                answer.letters += c.toUpper();
    return answer;
}

std::optional<QuestionKind> kindNamed(const QString &cell)
{
    QString name = headerKey(cell);
    if (name.endsWith(u'题'))
        name.chop(1);
    static const QHash<QString, QuestionKind> names = {
        {QStringLiteral("单选"), QuestionKind::Single},
        {QStringLiteral("单项选择"), QuestionKind::Single},
        {QStringLiteral("选择"), QuestionKind::Single},
        {QStringLiteral("single"), QuestionKind::Single},
        {QStringLiteral("singlechoice"), QuestionKind::Single},
        {QStringLiteral("多选"), QuestionKind::Multiple},
        {QStringLiteral("多项选择"), QuestionKind::Multiple},
        {QStringLiteral("不定项选择"), QuestionKind::Multiple},
        {QStringLiteral("multiple"), QuestionKind::Multiple},
        {QStringLiteral("multiplechoice"), QuestionKind::Multiple},
        {QStringLiteral("判断"), QuestionKind::TrueFalse},
        {QStringLiteral("truefalse"), QuestionKind::TrueFalse},
        {QStringLiteral("true/false"), QuestionKind::TrueFalse},
        {QStringLiteral("trueorfalse"), QuestionKind::TrueFalse},
        {QStringLiteral("judge"), QuestionKind::TrueFalse},
        {QStringLiteral("填空"), QuestionKind::FillIn},
        {QStringLiteral("fill"), QuestionKind::FillIn},
        {QStringLiteral("fill-in"), QuestionKind::FillIn},
        {QStringLiteral("blank"), QuestionKind::FillIn},
        {QStringLiteral("简答"), QuestionKind::Essay},
        {QStringLiteral("问答"), QuestionKind::Essay},
        {QStringLiteral("论述"), QuestionKind::Essay},
        {QStringLiteral("essay"), QuestionKind::Essay},
        {QStringLiteral("shortanswer"), QuestionKind::Essay},
    };
    const auto found = names.constFind(name);
    if (found == names.constEnd())
        return std::nullopt;
    return *found;
}

// A cell in a message, cut short: it may be megabytes long.
QString shortened(const QString &text)
{
    constexpr qsizetype kShown = 40;
    return text.size() > kShown ? text.left(kShown) + u'…' : text;
}

// An option that starts with its own letter ("A.农业" under A) loses it.
const QRegularExpression kOwnLetter(QStringLiteral(R"(^([A-DＡ-Ｄ])\s*[.．、:：]\s*)"));

QString withoutOwnLetter(const QString &option, int index, SourceRecord &record)
{
    if (option.isEmpty() ||
        (option.at(0) != QChar(u'A' + index) && option.at(0) != QChar(u'Ａ' + index)))
        return option;
    const QRegularExpressionMatch match = kOwnLetter.match(option);
    if (!match.hasMatch())
        return option;
    const char16_t c = match.captured(1).at(0).unicode();
    if ((c >= u'Ａ' ? c - u'Ａ' : c - u'A') != index)
        return option;
    record.notes.append(QStringLiteral("选项 %1“%2”去掉了重复的“%3”")
                            .arg(QChar(u'A' + index))
                            .arg(shortened(option), match.captured(0).trimmed()));
    return option.mid(match.capturedLength());
}

} // namespace

QString composeQuestion(const TemplateQuestion &parts)
{
    int given = 4;
    while (given > 0 && parts.options[given - 1].isEmpty())
        --given;
    QString text = parts.stem;
    for (int i = 0; i < given; ++i)
        text += u'\n' + QChar(u'A' + i) + u'.' + parts.options[i];
    return text;
}

QString trimCell(const QString &cell)
{
    // QString::trimmed() takes every Unicode blank, U+3000 among them.
    return cell.trimmed();
}

void takeAnswer(const QString &written, SourceRecord &record)
{
    const QString answer = trimCell(written);
    if (answer.size() == 1) {
        const char16_t c = answer.at(0).unicode();
        char16_t letter = 0;
        if (c >= u'A' && c <= u'D')
            letter = c;
        else if (c >= u'a' && c <= u'd')
            letter = c - u'a' + u'A';
        else if (c >= u'Ａ' && c <= u'Ｄ')
            letter = c - u'Ａ' + u'A';
        else if (c >= u'ａ' && c <= u'ｄ')
            letter = c - u'ａ' + u'A';
        if (letter) {
            const QString capital(QChar{letter});
            if (capital != answer)
                record.notes.append(QStringLiteral("答案“%1”按“%2”录入").arg(answer, capital));
            record.question->da = capital;
            return;
        }
    }
    record.errors.append(QStringLiteral("答案“%1”不是 A、B、C、D 之一").arg(shortened(answer)));
}

void settleQuestion(TemplateQuestion parts, const QString &answerCell, const QString &type,
                    SourceRecord &record)
{
    bank::Question &q = *record.question;
    q.xx = 0;
    if (parts.stem.isEmpty())
        record.errors.append(QStringLiteral("题干是空的"));
    int given = 0;
    for (int i = 0; i < 4; ++i) {
        parts.options[i] = withoutOwnLetter(parts.options[i], i, record);
        if (!parts.options[i].isEmpty())
            given = i + 1;
    }
    for (int i = 0; i < given; ++i) {
        if (parts.options[i].isEmpty())
            record.errors.append(
                QStringLiteral("选项 %1 是空的，后面却还有选项").arg(QChar(u'A' + i)));
    }

    const QString written = trimCell(answerCell);
    const WrittenAnswer answer = readAnswer(written);
    const QString typeName = trimCell(type);
    const std::optional<QuestionKind> named =
        typeName.isEmpty() ? std::nullopt : kindNamed(typeName);
    if (!typeName.isEmpty() && !named)
        record.errors.append(QStringLiteral("题型“%1”不认识，应是 单选、多选、判断、填空 或 简答")
                                 .arg(shortened(typeName)));
    record.kind = named                       ? *named
                  : answer.truth              ? QuestionKind::TrueFalse
                  : answer.letters.size() > 1 ? QuestionKind::Multiple
                                              : QuestionKind::Single;
    if (!isUsable(record.kind)) {
        record.errors.append(QStringLiteral("%1题（答案“%2”）不能用一个按钮作答，无法练习")
                                 .arg(kindName(record.kind), shortened(written)));
        return;
    }

    QString letter = answer.letters;
    const bool standardTrueFalse = record.kind == QuestionKind::TrueFalse && given == 0;
    if (standardTrueFalse) {
        parts.options[0] = QStringLiteral("正确");
        parts.options[1] = QStringLiteral("错误");
        given = 2;
        if (answer.truth)
            letter = *answer.truth ? QStringLiteral("A") : QStringLiteral("B");
        record.notes.append(QStringLiteral("判断题，按 A.正确 B.错误 录入，答案“%1”为 %2")
                                .arg(shortened(written), letter));
    } else if (answer.truth) {
        // The row's own two options: the answer is the one that says the same.
        for (int i = 0; i < given && letter.isEmpty(); ++i) {
            if (readAnswer(parts.options[i]).truth == answer.truth)
                letter = QChar(u'A' + i);
        }
        if (letter.isEmpty())
            record.errors.append(
                QStringLiteral("判断题的答案“%1”与哪个选项都对不上").arg(shortened(written)));
        else
            record.notes.append(
                QStringLiteral("判断题的答案“%1”按选项 %2 录入").arg(shortened(written), letter));
    }
    if (!answer.truth && letter.size() != 1)
        record.errors.append(
            QStringLiteral("答案“%1”不是 A、B、C、D 之一").arg(shortened(written)));
    else if (!answer.truth && !standardTrueFalse && letter != written)
        record.notes.append(QStringLiteral("答案“%1”按“%2”录入").arg(shortened(written), letter));

    if (given < 2)
        record.errors.append(given ? QStringLiteral("只有一个选项")
                                   : QStringLiteral("没有选项（A.、B. 这样的选项至少要有两个）"));
    else if (letter.size() == 1 && letter.at(0).unicode() - u'A' >= given)
        record.errors.append(
            QStringLiteral("答案 %1 不在给出的 %2 个选项之中").arg(letter).arg(given));
    else if (given < 4 && !standardTrueFalse)
        record.notes.append(given == 3 ? QStringLiteral("只有三个选项（A 到 C）")
                                       : QStringLiteral("只有两个选项（A 和 B）"));
    q.tm = composeQuestion(parts);
    q.da = letter;
}

std::optional<Layout> Layout::fromHeader(const QStringList &header, QString *error)
{
    QStringList names;
    for (const QString &cell : header)
        names.append(trimCell(cell));
    while (!names.isEmpty() && names.last().isEmpty())
        names.removeLast();

    Layout layout;
    layout.m_width = int(names.size());
    QList<int> bank(kBankColumns.size(), -1);
    QList<int> fields(TemplateFields, -1);
    QList<bool> index(names.size(), false);
    for (int i = 0; i < names.size(); ++i) {
        QString key = headerKey(names.at(i));
        if (const int at = kBankColumns.indexOf(key); at >= 0 && bank[at] < 0)
            bank[at] = i;
        if (const auto remark = kRemark.match(key);
            remark.hasMatch() && templateField(remark.captured(1)) >= 0)
            key = remark.captured(1);
        const int field = templateField(key);
        if (field >= 0 && fields[field] < 0)
            fields[field] = i;
        index[i] = isIndexColumn(key);
    }

    if (!bank.contains(-1)) {
        layout.m_columns = bank;
    } else if (fields[Stem] >= 0 && fields[Answer] >= 0) {
        layout.m_kind = Kind::Template;
        // Option columns, else one column of options, else options inside the stem.
        if (fields[OptionA] >= 0)
            fields[Options] = -1;
        else
            fields[OptionE] = -1;
        layout.m_columns = fields;
    } else {
        *error = QStringLiteral("标题行应当至少有题干和答案两列（如 题干,A,B,C,D,答案），"
                                "或是 id,tm,da,xx，实际是 %1")
                     .arg(names.join(QLatin1Char(',')));
        return std::nullopt;
    }
    for (int i = 0; i < names.size(); ++i) {
        if (!index.at(i) && !layout.m_columns.contains(i) && !layout.m_unread.contains(names.at(i)))
            layout.m_unread.append(names.at(i));
    }
    return layout;
}

QStringList Layout::remarks() const
{
    if (m_unread.isEmpty())
        return {};
    return {QStringLiteral("未导入的列：%1").arg(m_unread.join(u'、'))};
}

void Layout::build(const QStringList &cells, bool padShortRows, SourceRecord &record)
{
    record.question.emplace();
    record.errors.clear();
    record.notes.clear();
    record.kind = QuestionKind::Single;
    ++m_position;

    qsizetype used = cells.size();
    while (used > m_width && cells.at(used - 1).isEmpty())
        --used;
    if (used > m_width)
        record.errors.append(
            QStringLiteral("有 %1 个字段，比标题行多 %2 个").arg(used).arg(used - m_width));
    else if (used < m_width && !padShortRows)
        record.errors.append(
            QStringLiteral("只有 %1 个字段，标题行有 %2 个").arg(used).arg(m_width));
    auto cell = [&](int field) {
        const int index = m_columns.at(field);
        return index >= 0 && index < cells.size() ? cells.at(index) : QString();
    };

    bank::Question &q = *record.question;
    if (m_kind == Kind::Template) {
        TemplateQuestion parts;
        parts.stem = trimCell(cell(Stem));
        if (m_columns.at(OptionA) >= 0) {
            for (int i = 0; i < 4; ++i)
                parts.options[i] = trimCell(cell(OptionA + i));
        } else if (m_columns.at(Options) >= 0) {
            const QString options = trimCell(cell(Options));
            const std::optional<SplitText> split = splitOptions(options);
            if (split && split->before.isEmpty()) {
                for (qsizetype i = 0; i < split->options.size(); ++i)
                    parts.options[i] = split->options.at(i);
            } else if (!options.isEmpty()) {
                record.errors.append(
                    QStringLiteral("选项“%1”分不出 A 到 D 的选项").arg(shortened(options)));
            }
        } else if (const std::optional<SplitText> split = splitOptions(parts.stem)) {
            parts.stem = split->before;
            for (qsizetype i = 0; i < split->options.size(); ++i)
                parts.options[i] = split->options.at(i);
        }
        if (!trimCell(cell(OptionE)).isEmpty())
            record.errors.append(QStringLiteral("选项 E 有内容，而题只能有 A 到 D 四个选项"));
        q.id = m_position;
        settleQuestion(parts, cell(Answer), cell(Type), record);
    } else {
        bool ok = false;
        const QString id = trimCell(cell(0));
        q.id = id.toInt(&ok);
        if (!ok)
            record.errors.append(QStringLiteral("id“%1”不是 32 位整数").arg(id));
        q.tm = cell(1);
        if (trimCell(*q.tm).isEmpty())
            record.errors.append(QStringLiteral("题目是空的"));
        takeAnswer(cell(2), record);
        const QString xx = trimCell(cell(3));
        if (xx == QLatin1String("0") || xx == QLatin1String("1"))
            q.xx = xx.toInt();
        else
            record.errors.append(QStringLiteral("xx“%1”应当是 0 或 1").arg(xx));
    }
    if (!record.errors.isEmpty())
        record.question.reset();
}

} // namespace authoring

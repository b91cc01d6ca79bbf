#include "authoring/docxsource.h"

#include "authoring/xmlstream.h"
#include "authoring/zipreader.h"

#include <QHash>

namespace authoring {

namespace {

// A paper of a thousand pages is a few megabytes of XML.
constexpr qint64 kMaxDocumentBytes = qint64(256) << 20;
constexpr qint64 kMaxNumberingBytes = qint64(16) << 20;
constexpr qsizetype kMaxTextChars = 64 * 1024 * 1024;
constexpr int kLevels = 9;
constexpr qint64 kMaxCounter = 1000000;
// Lists, and paragraphs and table rows: far more than any paper has, and
// they bound what a hostile document can make the reader hold.
constexpr qsizetype kMaxLists = 10000;
constexpr qsizetype kMaxBlocks = 1000000;
constexpr qsizetype kMaxCells = 16384;

const QByteArrayView kWordNs[] = {"wordprocessingml/2006/main", "/wordprocessingml/main"};

bool isWord(const char *name, QByteArrayView local)
{
    return XmlStream::localName(name) == local &&
           (XmlStream::inNamespace(name, kWordNs[0]) || XmlStream::inNamespace(name, kWordNs[1]));
}

// Parses a whole part of the package with `handler`.
bool parsePart(ZipReader &zip, const QString &path, const QString &entry, qint64 cap,
               XmlStream::Handler &handler, QString *error)
{
    XmlStream stream(zip, handler);
    if (!stream.open(path, entry, cap)) {
        *error = stream.error();
        return false;
    }
    while (stream.parseMore()) {
    }
    *error = stream.error();
    return error->isEmpty();
}

std::optional<qint64> numberValue(const QString &text, qint64 most)
{
    bool ok = false;
    const qint64 value = text.size() <= 9 ? text.toLongLong(&ok) : -1;
    if (!ok || value < 0 || value > most)
        return std::nullopt;
    return value;
}

// One level of a list: how Word counts and writes its number.
struct Level
{
    qint64 start = 1;
    QString format = QStringLiteral("decimal");
    QString text;
    QString suffix = QStringLiteral("\t");
};

QString letters(qint64 n, char16_t a)
{
    // Word's letters: A…Z, then AA…ZZ, AAA…
    const QChar letter(char16_t(a + (n - 1) % 26));
    return QString(qMin<qint64>((n - 1) / 26 + 1, 64), letter);
}

QString roman(qint64 n)
{
    static const std::pair<int, const char *> kDigits[] = {
        {1000, "M"}, {900, "CM"}, {500, "D"}, {400, "CD"}, {100, "C"}, {90, "XC"}, {50, "L"},
        {40, "XL"},  {10, "X"},   {9, "IX"},  {5, "V"},    {4, "IV"},  {1, "I"}};
    QString text;
    for (const auto &[value, digits] : kDigits) {
        for (; n >= value; n -= value)
            text += QLatin1String(digits);
    }
    return text;
}

QString chinese(qint64 n)
{
    static const QString kDigits = QStringLiteral("〇一二三四五六七八九");
    if (n < 10)
        return kDigits.at(n);
    if (n < 100)
        return (n >= 20 ? QString(kDigits.at(n / 10)) : QString()) + u'十' +
               (n % 10 ? QString(kDigits.at(n % 10)) : QString());
    return QString::number(n);
}

QString formatCounter(qint64 n, const QString &format)
{
    if (format == u"upperLetter")
        return letters(n, u'A');
    if (format == u"lowerLetter")
        return letters(n, u'a');
    if (format == u"upperRoman")
        return roman(n);
    if (format == u"lowerRoman")
        return roman(n).toLower();
    if (format == u"decimalZero")
        return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
    if (format.startsWith(u"chinese") || format.startsWith(u"ideograph") ||
        format == u"japaneseCounting" || format == u"taiwaneseCounting")
        return chinese(n);
    if (format.startsWith(u"decimalEnclosedCircle") && n >= 1 && n <= 20)
        return QChar(char16_t(u'①' + n - 1));
    if (format == u"decimalFullWidth" || format == u"decimalFullWidth2") {
        QString text = QString::number(n);
        for (QChar &c : text)
            c = QChar(char16_t(c.unicode() - u'0' + u'０'));
        return text;
    }
    if (format == u"none" || format == u"bullet")
        return QString();
    return QString::number(n);
}

// numbering.xml: the levels of each list.
class Numbering : public XmlStream::Handler
{
public:
    // The number of a paragraph in list `numId` at `level`, as Word shows it.
    QString next(const QString &numId, int level)
    {
        const auto num = m_nums.constFind(numId);
        if (num == m_nums.cend() || level < 0 || level >= kLevels)
            return QString();
        const auto abstract = m_abstracts.constFind(num->abstractId);
        if (abstract == m_abstracts.cend())
            return QString();
        QList<qint64> &counters = m_counters[numId];
        if (counters.isEmpty()) {
            for (int i = 0; i < kLevels; ++i)
                counters.append(num->starts[i].value_or(abstract->at(i).start) - 1);
        }
        counters[level] = qMin(counters[level] + 1, kMaxCounter);
        for (int i = level + 1; i < kLevels; ++i)
            counters[i] = num->starts[i].value_or(abstract->at(i).start) - 1;
        const Level &shown = abstract->at(level);
        if (shown.format == u"none")
            return QString();
        QString text = shown.text;
        for (int i = 0; i < kLevels; ++i) {
            text.replace(QStringLiteral("%%1").arg(i + 1),
                         formatCounter(qMax<qint64>(counters[i], 1), abstract->at(i).format));
        }
        return text + shown.suffix;
    }

    void startElement(const char *name, const char **attributes) override
    {
        const auto value = [&] { return XmlStream::attribute(attributes, "val"); };
        // Lists past the cap are left unnumbered.
        if (isWord(name, "abstractNum") && m_abstracts.size() < kMaxLists) {
            m_abstractId = XmlStream::attribute(attributes, "abstractNumId");
            m_abstracts[m_abstractId] = QList<Level>(kLevels);
        } else if (isWord(name, "num") && m_nums.size() < kMaxLists) {
            m_numId = XmlStream::attribute(attributes, "numId");
            m_nums[m_numId] = Num{};
        } else if (isWord(name, "abstractNumId") && !m_numId.isNull()) {
            m_nums[m_numId].abstractId = value();
        } else if (isWord(name, "lvl") || isWord(name, "lvlOverride")) {
            m_level = int(
                numberValue(XmlStream::attribute(attributes, "ilvl"), kLevels - 1).value_or(-1));
        } else if (m_level >= 0 && isWord(name, "startOverride") && !m_numId.isNull()) {
            m_nums[m_numId].starts[m_level] = numberValue(value(), kMaxCounter);
        } else if (m_level >= 0 && !m_abstractId.isNull()) {
            Level &level = m_abstracts[m_abstractId][m_level];
            if (isWord(name, "start"))
                level.start = numberValue(value(), kMaxCounter).value_or(1);
            else if (isWord(name, "numFmt"))
                level.format = value();
            else if (isWord(name, "lvlText"))
                level.text = value();
            else if (isWord(name, "suff"))
                level.suffix = value() == u"space"     ? QStringLiteral(" ")
                               : value() == u"nothing" ? QString()
                                                       : QStringLiteral("\t");
        }
    }
    void endElement(const char *name) override
    {
        if (isWord(name, "abstractNum"))
            m_abstractId = QString();
        else if (isWord(name, "num"))
            m_numId = QString();
        else if (isWord(name, "lvl") || isWord(name, "lvlOverride"))
            m_level = -1;
    }
    void characters(QByteArrayView) override {}

private:
    struct Num
    {
        QString abstractId;
        std::optional<qint64> starts[kLevels];
    };
    QHash<QString, QList<Level>> m_abstracts;
    QHash<QString, Num> m_nums;
    QHash<QString, QList<qint64>> m_counters;
    QString m_abstractId;
    QString m_numId;
    int m_level = -1;
};

// document.xml: the body's paragraphs and the rows of its tables.
class Body : public XmlStream::Handler
{
public:
    Body(Numbering &numbering, std::deque<DocxSource::Block> &blocks)
        : m_numbering(numbering), m_blocks(blocks)
    {}
    void startElement(const char *name, const char **attributes) override
    {
        const QByteArrayView local = XmlStream::localName(name);
        if (!isWord(name, local))
            return;
        if (local == "tbl") {
            if (!m_tableDepth++)
                ++m_tables;
        } else if (local == "tr" && m_tableDepth == 1) {
            m_cells.clear();
        } else if (local == "tc" && m_tableDepth == 1) {
            m_cell.clear();
            m_cellParagraphs = 0;
        } else if (local == "p") {
            if (m_paragraphDepth++ == 0) {
                m_text.clear();
                m_numId.clear();
                m_level = 0;
            } else {
                m_text += u'\n';
            }
        } else if (local == "t") {
            m_inText = true;
        } else if (local == "tab" && m_inRun) {
            add(QStringLiteral("\t"));
        } else if ((local == "br" || local == "cr") && m_inRun) {
            add(QStringLiteral("\n"));
        } else if (local == "r") {
            m_inRun = true;
        } else if (local == "numId") {
            m_numId = XmlStream::attribute(attributes, "val");
        } else if (local == "ilvl") {
            m_level =
                int(numberValue(XmlStream::attribute(attributes, "val"), kLevels - 1).value_or(0));
        }
    }
    void endElement(const char *name) override
    {
        const QByteArrayView local = XmlStream::localName(name);
        if (!isWord(name, local))
            return;
        if (local == "t") {
            m_inText = false;
        } else if (local == "r") {
            m_inRun = false;
        } else if (local == "p" && --m_paragraphDepth == 0) {
            const QString number =
                m_numId.isEmpty() ? QString() : m_numbering.next(m_numId, m_level);
            const QString text = number + m_text;
            if (m_blocks.size() > kMaxBlocks) {
                return;
            } else if (m_tableDepth == 0) {
                m_blocks.push_back({0, text, {}});
            } else if (m_tableDepth == 1) {
                if (m_cellParagraphs++)
                    m_cell += u'\n';
                m_cell += text;
            } else {
                m_cell += (m_cell.isEmpty() ? QString() : QStringLiteral("\n")) + text;
            }
        } else if (local == "tc" && m_tableDepth == 1) {
            m_widest = qMax(m_widest, m_cells.size() + 1);
            if (m_widest <= kMaxCells)
                m_cells.append(m_cell);
        } else if (local == "tr" && m_tableDepth == 1 && m_blocks.size() <= kMaxBlocks) {
            m_blocks.push_back({m_tables, QString(), m_cells});
        } else if (local == "tbl") {
            --m_tableDepth;
        }
    }
    void characters(QByteArrayView text) override
    {
        if (m_inText && m_paragraphDepth)
            add(QString::fromUtf8(text));
    }

    bool tooLong() const
    {
        return m_chars > kMaxTextChars || m_blocks.size() > kMaxBlocks || m_widest > kMaxCells;
    }

private:
    void add(const QString &text)
    {
        m_chars += text.size();
        if (m_chars <= kMaxTextChars)
            m_text += text;
    }

    Numbering &m_numbering;
    std::deque<DocxSource::Block> &m_blocks;
    int m_tables = 0;
    int m_tableDepth = 0;
    int m_paragraphDepth = 0;
    bool m_inText = false;
    bool m_inRun = false;
    QString m_text;
    QString m_numId;
    int m_level = 0;
    QStringList m_cells;
    QString m_cell;
    int m_cellParagraphs = 0;
    qsizetype m_chars = 0;
    qsizetype m_widest = 0; // cells in a row
};

} // namespace

DocxSource::DocxSource()
    : m_parser([](qint64 paragraph) { return QStringLiteral("第 %1 段").arg(paragraph); })
{}

bool DocxSource::open(const QString &path, QString *error)
{
    ZipReader zip;
    if (!zip.open(path)) {
        *error = zip.error();
        return false;
    }
    const QString document = QStringLiteral("word/document.xml");
    if (!zip.hasEntry(document)) {
        *error = QStringLiteral("%1 不是完整的 Word 文档：缺少 %2").arg(path, document);
        return false;
    }
    Numbering numbering;
    const QString numberingPart = QStringLiteral("word/numbering.xml");
    if (zip.hasEntry(numberingPart) &&
        !parsePart(zip, path, numberingPart, kMaxNumberingBytes, numbering, error))
        return false;
    Body body(numbering, m_blocks);
    if (!parsePart(zip, path, document, kMaxDocumentBytes, body, error))
        return false;
    if (body.tooLong()) {
        *error = QStringLiteral("%1 超过 %2 个字、%3 段或一行 %4 格，不像是一份试卷")
                     .arg(path)
                     .arg(kMaxTextChars)
                     .arg(kMaxBlocks)
                     .arg(kMaxCells);
        return false;
    }

    // A table of questions, when there is one, is what the document holds.
    for (const Block &block : m_blocks) {
        if (block.table == 0 || block.table == m_table)
            continue;
        m_table = block.table;
        QString problem;
        m_layout = Layout::fromHeader(block.cells, &problem);
        if (m_layout)
            break;
    }
    if (!m_layout)
        m_table = 0;
    m_total = qint64(m_blocks.size());
    return true;
}

QString DocxSource::describeLocation(qint64 location) const
{
    return m_layout ? QStringLiteral("第 %1 个表格第 %2 行").arg(m_table).arg(location)
                    : QStringLiteral("第 %1 段").arg(location);
}

bool DocxSource::next(SourceRecord &record)
{
    if (m_layout) {
        // The rows of the table after its header.
        while (!m_blocks.empty()) {
            const Block block = std::move(m_blocks.front());
            m_blocks.pop_front();
            ++m_done;
            if (block.table != m_table)
                continue;
            if (++m_location == 1)
                continue;
            QStringList cells = block.cells;
            while (!cells.isEmpty() && trimCell(cells.last()).isEmpty())
                cells.removeLast();
            if (cells.isEmpty())
                continue;
            record.location = m_location;
            m_layout->build(cells, true, record);
            return true;
        }
        return false;
    }
    while (!m_parser.takeRecord(record)) {
        if (m_finished || !m_parser.error().isEmpty())
            return false;
        if (m_blocks.empty()) {
            m_parser.finish();
            m_finished = true;
            continue;
        }
        const Block block = std::move(m_blocks.front());
        m_blocks.pop_front();
        ++m_done;
        // Papers lay options out in tables too: a row reads as one line of its cells.
        const QString text = block.table ? block.cells.join(u'\t') : block.text;
        ++m_location;
        for (const QString &line : text.split(u'\n'))
            m_parser.addLine(line, m_location);
    }
    return true;
}

} // namespace authoring

#include "authoring/delimitedsource.h"

namespace authoring {

namespace {

// A record longer than this is taken for a quote that was never closed,
// rather than read on into memory without end.
constexpr qsizetype kMaxRecordChars = 16 * 1024 * 1024;
// The columns of an Excel sheet; a field costs far more memory than its
// characters, so a record of millions of empty fields must not all be kept.
constexpr qsizetype kMaxFields = 16384;

bool isLineEnd(QChar c)
{
    return c == u'\n' || c == u'\r';
}

} // namespace

bool DelimitedReader::readRecord(QStringList &fields)
{
    if (m_finished)
        return false;
    while (true) {
        if (m_pos >= m_buffer.size() && m_input.atEnd()) {
            m_finished = true;
            return false;
        }
        if (parse(fields) == Parse::Done)
            return true;
        if (m_input.atEnd()) {
            // Only an open quote runs out of text.
            m_recordLine = m_line;
            m_recordError = QStringLiteral("从这一行开始的引号没有闭合");
            m_finished = true;
            return true;
        }
        if (m_buffer.size() - m_pos > kMaxRecordChars) {
            m_recordLine = m_line;
            m_recordError =
                QStringLiteral("从这一行开始的记录超过 1600 万个字符，引号可能没有闭合");
            m_finished = true;
            return true;
        }
        m_buffer.remove(0, m_pos);
        m_pos = 0;
        // Parse anew only once the record's text has doubled, so that a record
        // over many chunks is parsed a few times rather than once a chunk.
        const qsizetype pending = m_buffer.size();
        do {
            if (!m_input.readMore(m_buffer) && !m_input.error().isEmpty()) {
                m_finished = true;
                return false;
            }
        } while (!m_input.atEnd() && m_buffer.size() < 2 * pending &&
                 m_buffer.size() <= kMaxRecordChars);
    }
}

DelimitedReader::Parse DelimitedReader::parse(QStringList &fields)
{
    const QChar *const begin = m_buffer.constData();
    const QChar *const end = begin + m_buffer.size();
    const QChar *p = begin + m_pos;
    const bool last = m_input.atEnd();
    const QChar separator = m_separator;
    qint64 lines = 0;
    QString error;
    fields.clear();

    // Passes over the rest of a line that cannot be split.
    auto skipLine = [&] {
        while (p < end && !isLineEnd(*p))
            ++p;
    };
    auto keep = [&](QString field) {
        if (fields.size() < kMaxFields)
            fields.append(std::move(field));
        else if (error.isEmpty())
            error = QStringLiteral("这条记录超过 %1 个字段").arg(kMaxFields);
    };

    while (true) {
        if (p < end && *p == u'"') {
            ++p;
            QString field;
            const QChar *run = p;
            while (true) {
                if (p == end)
                    return Parse::NeedMore;
                const QChar c = *p;
                if (c == u'"') {
                    if (p + 1 == end && !last)
                        return Parse::NeedMore;
                    field.append(run, p - run);
                    if (p + 1 < end && p[1] == u'"') {
                        field.append(u'"');
                        p += 2;
                        run = p;
                        continue;
                    }
                    ++p;
                    break;
                }
                if (c == u'\r') {
                    if (p + 1 == end && !last)
                        return Parse::NeedMore;
                    if (p + 1 == end || p[1] != u'\n')
                        ++lines;
                } else if (c == u'\n') {
                    ++lines;
                }
                ++p;
            }
            keep(std::move(field));
            if (p < end && *p != separator && !isLineEnd(*p)) {
                if (error.isEmpty())
                    error = QStringLiteral("引号后面应当紧跟分隔符或换行");
                skipLine();
            }
        } else {
            const QChar *start = p;
            while (p < end && *p != separator && !isLineEnd(*p) && *p != u'"')
                ++p;
            if (p < end && *p == u'"') {
                if (error.isEmpty())
                    error = QStringLiteral("没有用引号括起的字段中出现了引号");
                skipLine();
            }
            keep(QString(start, p - start));
        }

        if (p == end) {
            if (!last)
                return Parse::NeedMore;
            break;
        }
        if (*p == separator) {
            ++p;
            continue;
        }
        if (*p == u'\r') {
            if (p + 1 == end && !last)
                return Parse::NeedMore;
            if (p + 1 < end && p[1] == u'\n')
                ++p;
        }
        ++p;
        ++lines;
        break;
    }
    m_pos = p - begin;
    m_recordLine = m_line;
    m_line += lines;
    m_recordError = error;
    return Parse::Done;
}

bool DelimitedSource::open(const QString &path, Encoding encoding, QString *error)
{
    if (!m_input.open(path, encoding, error))
        return false;
    m_reader.emplace(m_input, m_format == Format::Tsv ? QChar(u'\t') : QChar(u','));
    if (!readNonBlank(m_fields)) {
        *error = m_input.error().isEmpty() ? QStringLiteral("%1 是空的，缺少标题行").arg(path)
                                           : m_input.error();
        return false;
    }
    QString problem = m_reader->recordError();
    if (problem.isEmpty())
        m_layout = Layout::fromHeader(m_fields, &problem);
    if (!m_layout) {
        *error = QStringLiteral("%1 %2：%3")
                     .arg(path, describeLocation(m_reader->recordLine()), problem);
        return false;
    }
    return true;
}

QString DelimitedSource::describeLocation(qint64 location) const
{
    return QStringLiteral("第 %1 行").arg(location);
}

bool DelimitedSource::readNonBlank(QStringList &fields)
{
    while (m_reader->readRecord(fields)) {
        // A blank line is one empty field and passed over.
        if (!m_reader->recordError().isEmpty() || fields.size() != 1 || !fields.first().isEmpty())
            return true;
    }
    return false;
}

bool DelimitedSource::next(SourceRecord &record)
{
    if (!readNonBlank(m_fields))
        return false;
    record.location = m_reader->recordLine();
    m_layout->build(m_fields, false, record);
    if (!m_reader->recordError().isEmpty()) {
        record.question.reset();
        record.errors = QStringList{m_reader->recordError()};
        record.notes.clear();
    }
    return true;
}

} // namespace authoring

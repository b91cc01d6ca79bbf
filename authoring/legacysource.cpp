#include "authoring/legacysource.h"

#include "authoring/jetheader.h"
#include "bank/store.h"

#include <QByteArrayView>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QtEndian>

// The mdbtools header includes glib inside extern "C", which C++ refuses.
#include <glib.h>

#include <mdbtools.h>

#include <algorithm>
#include <array>
#include <bitset>
#include <vector>

namespace authoring {

namespace {

// Row offsets on a data page carry flags in their top bits.
constexpr int kRowOffsetMask = 0x1FFF;
constexpr int kRowDeletedOrMoved = 0xC000;
constexpr unsigned char kDataPage = 0x01;
// A long value's row is named by its page, times 256, plus its index there.
constexpr int kRowsPerPointer = 256;
// A long value's header: its length in the low 30 bits, its storage above.
constexpr quint32 kLongValueLengthMask = 0x3FFFFFFF;
enum LongValueStorage : quint32
{
    Chain = 0,  // LVAL rows, each starting with a pointer to the next
    Single = 1, // one LVAL row
    Inline = 2  // right after the header, in the row itself
};

enum Column
{
    Id,
    Tm,
    Da,
    Xx,
    ColumnCount
};

const std::array<QString, ColumnCount> kColumnNames = {QStringLiteral("id"), QStringLiteral("tm"),
                                                       QStringLiteral("da"), QStringLiteral("xx")};

struct MdbCloser
{
    void operator()(MdbHandle *mdb) const { mdb_close(mdb); }
};
struct TableFreer
{
    void operator()(MdbTableDef *table) const { mdb_free_tabledef(table); }
};
using MdbPointer = std::unique_ptr<MdbHandle, MdbCloser>;
using TablePointer = std::unique_ptr<MdbTableDef, TableFreer>;

bool isIntegerType(int type)
{
    return type == MDB_BYTE || type == MDB_INT || type == MDB_LONGINT;
}

bool isTextType(int type)
{
    return type == MDB_TEXT || type == MDB_MEMO;
}

// Jet 4 text is UTF-16LE, or, after the marker FF FE, runs of one-byte
// characters (Latin-1) and runs of UTF-16LE code units, starting with the
// former; a zero byte where a character would start switches between them.
bool decodeJetText(QByteArrayView bytes, QString *text)
{
    text->clear();
    if (bytes.size() >= 2 && quint8(bytes[0]) == 0xFF && quint8(bytes[1]) == 0xFE) {
        bool oneByte = true;
        qsizetype i = 2;
        text->reserve(bytes.size());
        while (i < bytes.size()) {
            const quint8 first = quint8(bytes[i]);
            if (first == 0) {
                oneByte = !oneByte;
                ++i;
            } else if (oneByte) {
                text->append(QChar(char16_t(first)));
                ++i;
            } else if (i + 1 < bytes.size()) {
                text->append(QChar(char16_t(first | (quint8(bytes[i + 1]) << 8))));
                i += 2;
            } else {
                return false;
            }
        }
        return true;
    }
    if (bytes.size() % 2 != 0)
        return false;
    text->resize(bytes.size() / 2);
    for (qsizetype i = 0; i < text->size(); ++i)
        (*text)[i] = QChar(qFromLittleEndian<quint16>(bytes.data() + 2 * i));
    return true;
}

QString rowName(const std::optional<qint64> &id, qint64 position)
{
    if (id)
        return QStringLiteral("id 为 %1 的行").arg(*id);
    return QStringLiteral("第 %1 行（id 为空）").arg(position);
}

class LegacySource final : public QuestionSource
{
public:
    LegacySource(const QString &path, MdbPointer mdb, TablePointer table,
                 std::array<int, ColumnCount> columns, qint64 fileSize)
        : m_path(path), m_mdb(std::move(mdb)), m_table(std::move(table)), m_columns(columns),
          m_fileSize(fileSize), m_pageCount(fileSize / m_mdb->fmt->pg_size),
          m_expectedRows(m_table->num_rows)
    {}

    Format format() const override { return Format::Legacy; }
    QString describeLocation(qint64 location) const override
    {
        return QStringLiteral("第 %1 行").arg(location);
    }
    bool next(SourceRecord &record) override;
    QString error() const override { return m_error; }
    qint64 bytesRead() const override
    {
        return qMin(m_fileSize, qint64(m_table->cur_phys_pg) * m_mdb->fmt->pg_size);
    }
    qint64 totalBytes() const override { return m_fileSize; }

private:
    bool stop(const QString &reason);
    bool inPage(qint64 start, qint64 size) const
    {
        return start >= 0 && size >= 0 && start + size <= m_mdb->fmt->pg_size;
    }
    bool readInteger(const MdbField &field, int type, std::optional<qint64> *value) const;
    bool readText(const MdbField &field, int type, std::optional<QString> *value, QString *why);
    bool readLongValue(int start, int size, QByteArray *bytes, QString *why);
    bool longValueRow(quint32 pointer, std::vector<quint32> &links, QByteArrayView *row,
                      QString *why);

    QString m_path;
    MdbPointer m_mdb;
    TablePointer m_table;
    std::array<int, ColumnCount> m_columns;
    qint64 m_fileSize = 0;
    qint64 m_pageCount = 0;
    qint64 m_expectedRows = 0;
    qint64 m_rowsRead = 0;
    // Every row of long values read so far, by page: each belongs to one value
    // only, so a row met twice is a loop or two values sharing their bytes.
    QHash<quint32, std::bitset<kRowsPerPointer>> m_longValueRowsUsed;
    bool m_finished = false;
    QString m_error;
};

bool LegacySource::stop(const QString &reason)
{
    m_finished = true;
    m_error = QStringLiteral("%1：%2").arg(m_path, reason);
    return false;
}

bool LegacySource::next(SourceRecord &record)
{
    record = SourceRecord();
    if (m_finished)
        return false;
    // libmdb skips rows it cannot decode, so the count is the only sign of them.
    if (!mdb_fetch_row(m_table.get())) {
        if (m_rowsRead != m_expectedRows)
            return stop(QStringLiteral("表 kx 记着 %1 行，却只读出了 %2 行：有的行无法解码")
                            .arg(m_expectedRows)
                            .arg(m_rowsRead));
        m_finished = true;
        return false;
    }
    ++m_rowsRead;
    record.location = m_rowsRead;
    if (m_rowsRead > m_expectedRows)
        return stop(QStringLiteral("表 kx 记着 %1 行，读出的却更多").arg(m_expectedRows));

    // Take the row apart again to see its null mask and the stored bytes,
    // which libmdb's text conversion would alter.
    int rowStart = 0;
    size_t rowSize = 0;
    std::vector<MdbField> fields(m_table->num_cols);
    if (mdb_find_row(m_mdb.get(), int(m_table->cur_row) - 1, &rowStart, &rowSize) != 0 ||
        mdb_crack_row(m_table.get(), rowStart & kRowOffsetMask, rowSize, fields.data()) < 0)
        return stop(QStringLiteral("第 %1 行无法解码").arg(m_rowsRead));

    auto columnOf = [&](Column column) {
        return static_cast<const MdbColumn *>(
            g_ptr_array_index(m_table->columns, m_columns[column]));
    };
    auto fieldOf = [&](Column column) -> const MdbField & { return fields[m_columns[column]]; };
    auto typeOf = [&](Column column) { return columnOf(column)->col_type; };

    // A row starts with its column count and ends with its count of variable
    // columns, then its null mask. Access writes every column into every row;
    // libmdb takes one missing from either count for NULL, which is how the
    // rows of a damaged page would pass for empty ones.
    const unsigned char *row = m_mdb->pg_buf + (rowStart & kRowOffsetMask);
    const qint64 rowColumns = rowSize >= 2 ? qFromLittleEndian<quint16>(row) : 0;
    const qint64 variableCountAt = qint64(rowSize) - (rowColumns + 7) / 8 - 2;
    if (variableCountAt < 2)
        return stop(QStringLiteral("第 %1 行无法解码：行比它的列数所需的短").arg(m_rowsRead));
    const qint64 rowVariableColumns = qFromLittleEndian<quint16>(row + variableCountAt);
    for (int c = 0; c < ColumnCount; ++c) {
        const MdbColumn *col = columnOf(Column(c));
        if (col->row_col_num >= rowColumns ||
            (!col->is_fixed && qint64(col->var_col_num) >= rowVariableColumns))
            return stop(QStringLiteral("第 %1 行无法解码：行里没有 %2 列")
                            .arg(m_rowsRead)
                            .arg(kColumnNames[c]));
        // Access stores no bytes for a NULL; a cleared null mask still counts them.
        if (!col->is_fixed && fields[m_columns[c]].is_null && fields[m_columns[c]].siz != 0)
            return stop(QStringLiteral("第 %1 行无法解码：%2 列记为空，却存有值")
                            .arg(m_rowsRead)
                            .arg(kColumnNames[c]));
    }

    bank::Question question;
    if (!readInteger(fieldOf(Id), typeOf(Id), &question.id))
        return stop(QStringLiteral("第 %1 行的 id 列无法读出").arg(m_rowsRead));
    QString why;
    if (!readText(fieldOf(Tm), typeOf(Tm), &question.tm, &why))
        return stop(QStringLiteral("%1的 tm 列无法原样读出（%2）")
                        .arg(rowName(question.id, m_rowsRead), why));
    if (!readText(fieldOf(Da), typeOf(Da), &question.da, &why))
        return stop(QStringLiteral("%1的 da 列无法原样读出（%2）")
                        .arg(rowName(question.id, m_rowsRead), why));
    if (!readInteger(fieldOf(Xx), typeOf(Xx), &question.xx))
        return stop(QStringLiteral("%1的 xx 列无法读出").arg(rowName(question.id, m_rowsRead)));

    if (!question.xx)
        record.notes << QStringLiteral("xx 为空（不是 0 或 1），原样保留");
    else if (*question.xx != 0 && *question.xx != 1)
        record.notes << QStringLiteral("xx 为 %1（不是 0 或 1），原样保留").arg(*question.xx);
    record.question = question;
    return true;
}

bool LegacySource::readInteger(const MdbField &field, int type, std::optional<qint64> *value) const
{
    value->reset();
    if (field.is_null)
        return true;
    const unsigned char *page = m_mdb->pg_buf;
    switch (type) {
    case MDB_BYTE:
        if (!inPage(field.start, 1))
            return false;
        *value = page[field.start];
        return true;
    case MDB_INT:
        if (!inPage(field.start, 2))
            return false;
        *value = qFromLittleEndian<qint16>(page + field.start);
        return true;
    case MDB_LONGINT:
        if (!inPage(field.start, 4))
            return false;
        *value = qFromLittleEndian<qint32>(page + field.start);
        return true;
    default:
        return false;
    }
}

bool LegacySource::readText(const MdbField &field, int type, std::optional<QString> *value,
                            QString *why)
{
    value->reset();
    if (field.is_null)
        return true;
    if (!inPage(field.start, field.siz)) {
        *why = QStringLiteral("值超出了所在的页");
        return false;
    }
    QByteArray bytes;
    if (type == MDB_MEMO) {
        if (!readLongValue(field.start, field.siz, &bytes, why))
            return false;
    } else {
        bytes = QByteArray(reinterpret_cast<const char *>(m_mdb->pg_buf) + field.start, field.siz);
    }
    QString text;
    if (!decodeJetText(bytes, &text)) {
        *why = QStringLiteral("文字编码不完整");
        return false;
    }
    *value = text;
    return true;
}

bool LegacySource::readLongValue(int start, int size, QByteArray *bytes, QString *why)
{
    bytes->clear();
    if (size == 0)
        return true;
    if (size < MDB_MEMO_OVERHEAD) {
        *why = QStringLiteral("长文本的头部不完整");
        return false;
    }
    const unsigned char *page = m_mdb->pg_buf;
    const quint32 head = qFromLittleEndian<quint32>(page + start);
    const qint64 length = head & kLongValueLengthMask;
    // Its bytes are in the file, each once: a longer value can only be a lie.
    if (length > m_fileSize) {
        *why = QStringLiteral("长文本记下的长度 %1 字节比整个文件还大").arg(length);
        return false;
    }
    quint32 pointer = qFromLittleEndian<quint32>(page + start + 4);
    std::vector<quint32> links;
    QByteArrayView row;
    switch (head >> 30) {
    case Inline:
        if (size - MDB_MEMO_OVERHEAD < length) {
            *why = QStringLiteral("长文本比它记下的长度短");
            return false;
        }
        *bytes =
            QByteArray(reinterpret_cast<const char *>(page) + start + MDB_MEMO_OVERHEAD, length);
        return true;
    case Single:
        if (!longValueRow(pointer, links, &row, why))
            return false;
        if (row.size() < length) {
            *why = QStringLiteral("长文本比它记下的长度短");
            return false;
        }
        *bytes = row.first(length).toByteArray();
        return true;
    case Chain:
        // No row is read twice, so the bytes gathered never exceed the file.
        while (bytes->size() < length) {
            if (pointer == 0) {
                *why = QStringLiteral("长文本的链在读完之前断了");
                return false;
            }
            if (!longValueRow(pointer, links, &row, why))
                return false;
            if (row.size() <= 4) {
                *why = QStringLiteral("长文本的链里有空的一段");
                return false;
            }
            pointer = qFromLittleEndian<quint32>(row.data());
            bytes->append(row.sliced(4));
        }
        bytes->truncate(length);
        return true;
    default:
        *why = QStringLiteral("长文本的存放方式不认识");
        return false;
    }
}

bool LegacySource::longValueRow(quint32 pointer, std::vector<quint32> &links, QByteArrayView *row,
                                QString *why)
{
    const quint32 pageNumber = pointer / kRowsPerPointer;
    const int index = int(pointer % kRowsPerPointer);
    const int pageSize = int(m_mdb->fmt->pg_size);
    // A page past the end is not read at all.
    if (pageNumber >= m_pageCount || mdb_read_alt_pg(m_mdb.get(), pageNumber) != pageSize) {
        *why = QStringLiteral("长文本指向的第 %1 页不在文件里").arg(pageNumber);
        return false;
    }
    const unsigned char *page = m_mdb->alt_pg_buf;
    if (pageNumber == 0 || page[0] != kDataPage ||
        QByteArrayView(page + 4, 4) != QByteArrayView("LVAL")) {
        *why = QStringLiteral("长文本指向的第 %1 页不是存放长文本的页").arg(pageNumber);
        return false;
    }
    // The page's row count, then the start of each row; row i ends where row i - 1 starts.
    const int countAt = m_mdb->fmt->row_count_offset;
    const int rows = qFromLittleEndian<quint16>(page + countAt);
    const int offsetsEnd = countAt + 2 + 2 * rows;
    if (index >= rows || offsetsEnd > pageSize) {
        *why = QStringLiteral("长文本指向的第 %1 页第 %2 行不存在").arg(pageNumber).arg(index);
        return false;
    }
    const int offset = qFromLittleEndian<quint16>(page + countAt + 2 + 2 * index);
    const int start = offset & kRowOffsetMask;
    const int end = index == 0
                        ? pageSize
                        : qFromLittleEndian<quint16>(page + countAt + 2 * index) & kRowOffsetMask;
    if ((offset & kRowDeletedOrMoved) != 0 || start < offsetsEnd || start > end || end > pageSize) {
        *why =
            QStringLiteral("长文本所在的第 %1 页第 %2 行已删除或已损坏").arg(pageNumber).arg(index);
        return false;
    }

    auto &used = m_longValueRowsUsed[pageNumber];
    if (used[index]) {
        *why = std::find(links.begin(), links.end(), pointer) != links.end()
                   ? QStringLiteral("长文本的链绕回了它读过的一段（第 %1 页第 %2 行）")
                         .arg(pageNumber)
                         .arg(index)
                   : QStringLiteral("长文本的一段（第 %1 页第 %2 行）已属于前面的另一个值")
                         .arg(pageNumber)
                         .arg(index);
        return false;
    }
    used[index] = true;
    links.push_back(pointer);
    *row = QByteArrayView(reinterpret_cast<const char *>(page) + start, end - start);
    return true;
}

std::unique_ptr<QuestionSource> failWith(QString *error, const QString &reason)
{
    if (error)
        *error = reason;
    return nullptr;
}

} // namespace

std::unique_ptr<QuestionSource> openLegacySource(const QString &path, const SourceOptions &options,
                                                 QString *error)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return failWith(error, QStringLiteral("找不到文件 %1").arg(path));
    const auto header = readJetHeaderOf(path);
    if (!header)
        return failWith(error, QStringLiteral("%1 不是 Access（Jet）数据库").arg(path));
    if (header->version != JetVersion::Jet4)
        return failWith(error, QStringLiteral("%1 是 %2 格式的数据库；旧题库只能是 %3 格式")
                                   .arg(path, jetVersionName(header->version),
                                        jetVersionName(JetVersion::Jet4)));

    const bool given = !options.legacyPassword.isEmpty();
    const QString expected = given ? options.legacyPassword : bank::kBankPassword;
    if (!header->password.isEmpty() && header->password != expected)
        return failWith(error, given
                                   ? QStringLiteral("%1 的数据库密码不对：不是给出的密码").arg(path)
                                   : QStringLiteral("%1 的数据库密码不对：不是本程序的密码，"
                                                    "请用 --password 给出它的密码")
                                         .arg(path));

    // Opened without MDB_WRITABLE, libmdb only ever reads the file.
    MdbPointer mdb(mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS));
    if (!mdb || mdb->f->jet_version != MDB_VER_JET4)
        return failWith(error, QStringLiteral("无法读取数据库 %1").arg(path));
    // libmdb reads the rows of a cut page as if the missing bytes were there.
    if (info.size() % mdb->fmt->pg_size != 0)
        return failWith(error, QStringLiteral("%1 不完整：%2 字节不是整页（每页 %3 字节），"
                                              "文件末尾缺了一部分")
                                   .arg(path)
                                   .arg(info.size())
                                   .arg(mdb->fmt->pg_size));
    QByteArray tableName = bank::kQuestionTable.toUtf8();
    TablePointer table(mdb_read_table_by_name(mdb.get(), tableName.data(), MDB_TABLE));
    if (!table || !mdb_read_columns(table.get()))
        return failWith(error, QStringLiteral("%1 里没有表 kx").arg(path));
    // A row is taken apart into one field per column of the table definition.
    if (table->columns->len != table->num_cols)
        return failWith(error, QStringLiteral("%1 中表 kx 的定义已损坏").arg(path));

    std::array<int, ColumnCount> columns;
    columns.fill(-1);
    for (guint i = 0; i < table->columns->len; ++i) {
        const auto *col = static_cast<MdbColumn *>(g_ptr_array_index(table->columns, i));
        const QString name = QString::fromUtf8(col->name);
        for (int c = 0; c < ColumnCount; ++c) {
            if (name.compare(kColumnNames[c], Qt::CaseInsensitive) == 0)
                columns[c] = int(i);
        }
    }
    for (int c = 0; c < ColumnCount; ++c) {
        if (columns[c] < 0)
            return failWith(error,
                            QStringLiteral("%1 中表 kx 没有 %2 列").arg(path, kColumnNames[c]));
        const auto *col = static_cast<MdbColumn *>(g_ptr_array_index(table->columns, columns[c]));
        const bool integer = c == Id || c == Xx;
        if (integer ? !isIntegerType(col->col_type) : !isTextType(col->col_type))
            return failWith(error,
                            QStringLiteral("%1 中表 kx 的 %2 列不是%3")
                                .arg(path, kColumnNames[c],
                                     integer ? QStringLiteral("整数") : QStringLiteral("文字")));
    }
    mdb_rewind_table(table.get());
    return std::make_unique<LegacySource>(path, std::move(mdb), std::move(table), columns,
                                          info.size());
}

} // namespace authoring

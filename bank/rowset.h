#pragma once

#include <QtGlobal>

#include <memory>
#include <vector>

namespace bank {

// The rows of a query's snapshot, as row ids in ascending order: exactly
// 1..span, a list of row ids, or 1..span but for a list of row ids left out.
// A million rows of which all but a hundred match are then a list of a
// hundred. Copies share their list, so a copy is cheap.
class RowSet
{
public:
    enum class Kind
    {
        Dense,
        Listed,
        Excluding
    };

    static constexpr qint64 kNoRow = -1;

    RowSet() = default;
    static RowSet dense(qint64 span);
    // `ids` must be sorted without repeats, and lie in 1..span when excluded.
    static RowSet listed(std::vector<qint64> ids);
    static RowSet excluding(qint64 span, std::vector<qint64> ids);

    Kind kind() const { return m_kind; }
    qint64 count() const;
    bool contains(qint64 rowid) const;
    // The first row of the set past `rowid`, or kNoRow.
    qint64 after(qint64 rowid) const;
    // The place (from 1) of `rowid` among the rows of the set; for a row not
    // in it, the place the next row of the set has.
    qint64 numberOf(qint64 rowid) const;
    // The row at place `recordNumber` (from 1), or kNoRow outside 1..count().
    qint64 rowAt(qint64 recordNumber) const;

    // The same set with the rows `in` taken in and the rows `out` left out,
    // both sorted. A set of 1..span only takes in rows of 1..span.
    RowSet with(const std::vector<qint64> &in, const std::vector<qint64> &out) const;

private:
    RowSet(Kind kind, qint64 span, std::vector<qint64> ids);

    Kind m_kind = Kind::Dense;
    qint64 m_span = 0;
    std::shared_ptr<const std::vector<qint64>> m_ids;
};

} // namespace bank

#include "bank/rowset.h"

#include <algorithm>
#include <iterator>

namespace bank {

RowSet::RowSet(Kind kind, qint64 span, std::vector<qint64> ids)
    : m_kind(kind), m_span(span), m_ids(std::make_shared<const std::vector<qint64>>(std::move(ids)))
{}

RowSet RowSet::dense(qint64 span)
{
    RowSet rows;
    rows.m_span = span;
    return rows;
}

RowSet RowSet::listed(std::vector<qint64> ids)
{
    return RowSet(Kind::Listed, 0, std::move(ids));
}

RowSet RowSet::excluding(qint64 span, std::vector<qint64> ids)
{
    return RowSet(Kind::Excluding, span, std::move(ids));
}

qint64 RowSet::count() const
{
    switch (m_kind) {
    case Kind::Dense:
        return m_span;
    case Kind::Listed:
        return qint64(m_ids->size());
    case Kind::Excluding:
        return m_span - qint64(m_ids->size());
    }
    return 0;
}

bool RowSet::contains(qint64 rowid) const
{
    switch (m_kind) {
    case Kind::Dense:
        return rowid >= 1 && rowid <= m_span;
    case Kind::Listed:
        return std::binary_search(m_ids->begin(), m_ids->end(), rowid);
    case Kind::Excluding:
        return rowid >= 1 && rowid <= m_span &&
               !std::binary_search(m_ids->begin(), m_ids->end(), rowid);
    }
    return false;
}

qint64 RowSet::after(qint64 rowid) const
{
    if (m_kind == Kind::Listed) {
        const auto it = std::upper_bound(m_ids->begin(), m_ids->end(), rowid);
        return it == m_ids->end() ? kNoRow : *it;
    }
    if (rowid >= m_span)
        return kNoRow;
    qint64 next = rowid < 1 ? 1 : rowid + 1;
    if (m_kind == Kind::Excluding) {
        for (auto it = std::lower_bound(m_ids->begin(), m_ids->end(), next);
             it != m_ids->end() && *it == next; ++it)
            ++next;
    }
    return next <= m_span ? next : kNoRow;
}

qint64 RowSet::numberOf(qint64 rowid) const
{
    if (m_kind == Kind::Listed)
        return std::lower_bound(m_ids->begin(), m_ids->end(), rowid) - m_ids->begin() + 1;
    // Rows 1..span below `rowid`, less those left out.
    qint64 below = std::clamp<qint64>(rowid, 1, m_span + 1) - 1;
    if (m_kind == Kind::Excluding)
        below -= std::lower_bound(m_ids->begin(), m_ids->end(), rowid) - m_ids->begin();
    return below + 1;
}

qint64 RowSet::rowAt(qint64 recordNumber) const
{
    if (recordNumber < 1 || recordNumber > count())
        return kNoRow;
    switch (m_kind) {
    case Kind::Dense:
        return recordNumber;
    case Kind::Listed:
        return (*m_ids)[size_t(recordNumber - 1)];
    case Kind::Excluding: {
        // Below the i-th row left out (from 0) lie ids[i] - 1 - i rows of the set,
        // so the n-th row of the set is n plus the number of those with ids[i] - i <= n.
        qint64 low = 0;
        qint64 high = qint64(m_ids->size());
        while (low < high) {
            const qint64 middle = low + (high - low) / 2;
            if ((*m_ids)[size_t(middle)] - middle <= recordNumber)
                low = middle + 1;
            else
                high = middle;
        }
        return recordNumber + low;
    }
    }
    return kNoRow;
}

RowSet RowSet::with(const std::vector<qint64> &in, const std::vector<qint64> &out) const
{
    if (out.empty() && (in.empty() || m_kind == Kind::Dense))
        return *this;
    // A listed row is one of the set; a row left out of 1..span is one that is not.
    const bool listing = m_kind == Kind::Listed;
    const std::vector<qint64> &enter = listing ? in : out;
    const std::vector<qint64> &leave = listing ? out : in;
    const std::vector<qint64> none;
    const std::vector<qint64> &ids = m_ids ? *m_ids : none;

    std::vector<qint64> kept;
    kept.reserve(ids.size());
    std::set_difference(ids.begin(), ids.end(), leave.begin(), leave.end(),
                        std::back_inserter(kept));
    std::vector<qint64> merged;
    merged.reserve(kept.size() + enter.size());
    if (listing) {
        std::set_union(kept.begin(), kept.end(), enter.begin(), enter.end(),
                       std::back_inserter(merged));
        return listed(std::move(merged));
    }
    // Rows past the span are in no set of 1..span, so there is nothing to leave out.
    const auto inSpan = std::lower_bound(enter.begin(), enter.end(), 1);
    std::set_union(kept.begin(), kept.end(), inSpan, std::upper_bound(inSpan, enter.end(), m_span),
                   std::back_inserter(merged));
    return excluding(m_span, std::move(merged));
}

} // namespace bank

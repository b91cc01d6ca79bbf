#pragma once

#include <QString>

#include <optional>

namespace bank {

// One row of kx. An empty optional is SQL NULL, which a legacy bank may hold
// and which must stay apart from an empty string.
struct Question
{
    std::optional<qint64> id;
    std::optional<QString> tm;
    std::optional<QString> da;
    std::optional<qint64> xx;
};

} // namespace bank

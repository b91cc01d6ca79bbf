#pragma once

#include "authoring/questionsource.h"

#include <cstddef>
#include <cstdint>

namespace fuzz {

// Reads every record of `data` as a file of `format`, the way `check` does:
// open, then record after record with the whole-file checks, until the end or
// the first error that stops the reader.
void readAll(const std::uint8_t *data, std::size_t size, authoring::Format format);

} // namespace fuzz

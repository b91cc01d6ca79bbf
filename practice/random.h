#pragma once

#include <QtGlobal>

namespace practice {

// The process-wide generator behind every draw. The program seeds it once from
// the clock at start-up; tests seed it with a fixed number to repeat a draw.
void seedRandom(quint32 seed);
void seedRandomFromClock();

// A uniformly distributed integer from 0 to n - 1; n must be at least 1.
int randomBelow(int n);

} // namespace practice

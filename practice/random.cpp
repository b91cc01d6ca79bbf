#include "practice/random.h"

#include <QRandomGenerator>

#include <chrono>

namespace practice {

namespace {

QRandomGenerator &generator()
{
    static QRandomGenerator instance;
    return instance;
}

} // namespace

void seedRandom(quint32 seed)
{
    generator().seed(seed);
}

void seedRandomFromClock()
{
    const auto ticks = std::chrono::system_clock::now().time_since_epoch().count();
    seedRandom(quint32(ticks) ^ quint32(quint64(ticks) >> 32));
}

int randomBelow(int n)
{
    Q_ASSERT(n > 0);
    return int(generator().bounded(quint32(n)));
}

} // namespace practice

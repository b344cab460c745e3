#include "historysteps.h"

#include <iterator>

namespace {

constexpr qint64 roundLengths[] = {60, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400};

// Division that rounds towards minus infinity, for times before an offset.
qint64 floorDiv(qint64 value, qint64 divisor)
{
    const qint64 quotient = value / divisor;
    return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

} // namespace

qint64 HistorySteps::defaultStep(qint64 periodSeconds)
{
    for (const qint64 length : roundLengths) {
        if ((periodSeconds + length - 1) / length <= mostSteps)
            return length;
    }
    return roundLengths[std::size(roundLengths) - 1];
}

qint64 HistorySteps::alignedStart(qint64 from, qint64 step, int utcOffsetSeconds)
{
    return floorDiv(from + utcOffsetSeconds, step) * step - utcOffsetSeconds;
}

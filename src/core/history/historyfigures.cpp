#include "historyfigures.h"

#include <algorithm>

namespace History {

namespace {

std::optional<int> known(int value)
{
    return value < 0 ? std::nullopt : std::optional<int>(value);
}

} // namespace

qint64 Figures::samples() const
{
    qint64 total = 0;
    for (const qint64 count : states)
        total += count;
    return total;
}

std::optional<double> Figures::share(State state) const
{
    const qint64 total = samples();
    if (total == 0)
        return std::nullopt;
    return double(states.at(state)) / double(total);
}

std::optional<double> Figures::playersAverage() const
{
    if (playersCount == 0)
        return std::nullopt;
    return double(playersSum) / double(playersCount);
}

std::optional<int> Figures::playersPeak() const
{
    return known(playersMax);
}

std::optional<int> Figures::playerLimit() const
{
    return known(limit);
}

std::optional<double> Figures::average(Resource resource) const
{
    if (resourceCount == 0)
        return std::nullopt;
    return double(resourceSum.at(resource)) / double(resourceCount);
}

std::optional<int> Figures::peak(Resource resource) const
{
    return known(resourceMax.at(resource));
}

void Figures::add(const Figures &other)
{
    for (int i = 0; i < StateCount; ++i)
        states.at(i) += other.states.at(i);
    playersSum += other.playersSum;
    playersCount += other.playersCount;
    playersMax = std::max(playersMax, other.playersMax);
    limit = std::max(limit, other.limit);
    resourceCount += other.resourceCount;
    for (int i = 0; i < ResourceCount; ++i) {
        resourceSum.at(i) += other.resourceSum.at(i);
        resourceMax.at(i) = std::max(resourceMax.at(i), other.resourceMax.at(i));
    }
}

} // namespace History

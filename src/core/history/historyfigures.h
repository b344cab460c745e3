#pragma once

#include "core/history/historysample.h"

#include <array>
#include <optional>

namespace History {

enum Resource { Cpu = 0, Memory = 1, Slots = 2, Disk = 3 };
constexpr int ResourceCount = 4;

// What a stretch of time holds: the samples and hourly rows in it summed
// up, so that stretches and rows of either kind add up exactly. No sample
// at all is no data, and then every figure is empty.
struct Figures
{
    std::array<qint64, StateCount> states {}; // status samples per state
    qint64 playersSum = 0;
    qint64 playersCount = 0; // samples that knew the players
    int playersMax = -1; // -1: none
    int limit = -1;
    qint64 resourceCount = 0;
    std::array<qint64, ResourceCount> resourceSum {};
    std::array<int, ResourceCount> resourceMax {-1, -1, -1, -1};

    qint64 samples() const;
    bool hasData() const { return samples() > 0 || resourceCount > 0; }
    // The share of the status samples in `state`; empty without them.
    std::optional<double> share(State state) const;
    std::optional<double> playersAverage() const;
    std::optional<int> playersPeak() const;
    std::optional<int> playerLimit() const;
    std::optional<double> average(Resource resource) const;
    std::optional<int> peak(Resource resource) const;

    void add(const Figures &other);
};

} // namespace History

#include "simulatedserver.h"

#include <algorithm>

namespace {

// After a long idle spell only the most recent stretch of play is simulated.
constexpr qint64 MaxCatchUpTicks = 720;

int percentOf(int part, int whole)
{
    return whole > 0 ? std::clamp(part * 100 / whole, 0, 100) : 0;
}

} // namespace

int ResourceFigures::memoryPercent() const
{
    return percentOf(memoryUsedMb, memoryQuotaMb);
}
int ResourceFigures::diskPercent() const
{
    return percentOf(diskUsedMb, diskQuotaMb);
}
int ResourceFigures::playersPercent() const
{
    return percentOf(players, playerSlots);
}

SimulatedServer::SimulatedServer(const GameServerProfile &profile, quint32 seed, qint64 startDelayMs, qint64 nowMs)
    : m_profile(profile)
    , m_rng(seed)
    , m_startDelayMs(std::max<qint64>(0, startDelayMs))
    , m_nowMs(nowMs)
    , m_nextTickMs(nowMs + TickMs)
    , m_map(profile.maps.value(0))
    , m_roster(profile.playerSlots)
    , m_diskUsedMb(profile.diskUsedMb)
{
    if (profile.initialPower == GameServerProfile::InitialPower::Running) {
        m_power = PowerState::Running;
        m_roster.populate(profile.typicalPlayers, nowMs, m_rng);
    }
}

void SimulatedServer::advanceTo(qint64 nowMs)
{
    if (nowMs <= m_nowMs)
        return;
    const qint64 lateTicks = (nowMs - m_nextTickMs) / TickMs;
    if (lateTicks > MaxCatchUpTicks)
        m_nextTickMs += (lateTicks - MaxCatchUpTicks) * TickMs;

    for (;;) {
        const bool readyDue = m_power == PowerState::Starting && m_readyAtMs <= nowMs;
        const bool tickDue = m_nextTickMs <= nowMs;
        if (readyDue && (!tickDue || m_readyAtMs <= m_nextTickMs)) {
            m_nowMs = std::max(m_nowMs, m_readyAtMs);
            finishStarting();
        } else if (tickDue) {
            m_nowMs = m_nextTickMs;
            tick(m_nextTickMs);
            m_nextTickMs += TickMs;
        } else {
            break;
        }
    }
    m_nowMs = nowMs;
}

ResourceFigures SimulatedServer::resources() const
{
    ResourceFigures figures;
    figures.memoryQuotaMb = m_profile.memoryQuotaMb;
    figures.diskQuotaMb = m_profile.diskQuotaMb;
    figures.diskUsedMb = m_diskUsedMb;
    figures.players = m_roster.count();
    figures.playerSlots = m_profile.playerSlots;

    const int baseMemoryMb = m_profile.memoryQuotaMb / 4;
    switch (m_power) {
    case PowerState::Off:
        figures.cpuPercent = std::abs(m_loadNoise) % 3;
        figures.memoryUsedMb = 0;
        break;
    case PowerState::Starting:
        figures.cpuPercent = 60 + m_loadNoise;
        figures.memoryUsedMb = baseMemoryMb / 2 + m_loadNoise;
        break;
    case PowerState::Running: {
        // A full server takes about 70% CPU and 65% of its memory quota.
        const int fullness = figures.playersPercent();
        figures.cpuPercent = 6 + fullness * 7 / 10 + m_loadNoise;
        figures.memoryUsedMb = baseMemoryMb + m_profile.memoryQuotaMb * fullness * 2 / 500 + m_loadNoise * 3;
        break;
    }
    }
    figures.cpuPercent = std::clamp(figures.cpuPercent, 0, 100);
    figures.memoryUsedMb = std::clamp(figures.memoryUsedMb, 0, m_profile.memoryQuotaMb);
    return figures;
}

SimulatedServer::Outcome SimulatedServer::start()
{
    if (m_power != PowerState::Off)
        return Outcome::AlreadyStarted;
    beginStarting();
    return Outcome::Done;
}

SimulatedServer::Outcome SimulatedServer::stop()
{
    if (m_power == PowerState::Off)
        return Outcome::AlreadyOff;
    m_power = PowerState::Off;
    m_roster.clear();
    return Outcome::Done;
}

SimulatedServer::Outcome SimulatedServer::restart()
{
    beginStarting();
    return Outcome::Done;
}

SimulatedServer::Outcome SimulatedServer::changeMap(const QString &map)
{
    if (!m_profile.maps.contains(map))
        return Outcome::UnknownMap;
    if (m_power != PowerState::Running)
        return Outcome::NotRunning;
    m_map = map;
    m_roster.resetScores(); // a new round begins
    return Outcome::Done;
}

void SimulatedServer::beginStarting()
{
    m_power = PowerState::Starting;
    m_readyAtMs = m_nowMs + m_startDelayMs;
    m_roster.clear();
}

void SimulatedServer::finishStarting()
{
    m_power = PowerState::Running;
}

void SimulatedServer::tick(qint64 atMs)
{
    m_loadNoise = int(m_rng.bounded(11)) - 5;
    if (m_power != PowerState::Running)
        return;
    m_roster.step(atMs, m_profile.typicalPlayers, m_rng);
    if (m_rng.bounded(20) == 0)
        m_diskUsedMb = std::min(m_diskUsedMb + 1, m_profile.diskQuotaMb); // logs pile up
}

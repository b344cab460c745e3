#pragma once

#include "gameserverprofile.h"
#include "playerroster.h"

#include <QRandomGenerator>

// Power states, numbered as the web API reports them.
enum class PowerState { Off = 0, Running = 1, Starting = 2 };

struct ResourceFigures
{
    int cpuPercent = 0;
    int memoryUsedMb = 0;
    int memoryQuotaMb = 0;
    int diskUsedMb = 0;
    int diskQuotaMb = 0;
    int players = 0;
    int playerSlots = 0;

    int memoryPercent() const;
    int diskPercent() const;
    int playersPercent() const;
};

// One rented game server: its power state machine, the map it runs, its
// players and its load. Time only moves when advanceTo() is called, so the
// owner decides what "now" is.
class SimulatedServer
{
public:
    enum class Outcome { Done, AlreadyStarted, AlreadyOff, NotRunning, UnknownMap };

    // Play advances in steps of this length.
    static constexpr qint64 TickMs = 5'000;

    SimulatedServer(const GameServerProfile &profile, quint32 seed, qint64 startDelayMs, qint64 nowMs);

    const GameServerProfile &profile() const { return m_profile; }

    // Plays everything that happened up to `nowMs`. Going back in time is ignored.
    void advanceTo(qint64 nowMs);
    qint64 nowMs() const { return m_nowMs; }

    PowerState power() const { return m_power; }
    QString currentMap() const { return m_map; }
    const PlayerRoster &roster() const { return m_roster; }
    ResourceFigures resources() const;

    Outcome start();
    Outcome stop();
    Outcome restart();
    Outcome changeMap(const QString &map);

private:
    void beginStarting();
    void finishStarting();
    void tick(qint64 atMs);

    GameServerProfile m_profile;
    QRandomGenerator m_rng;
    qint64 m_startDelayMs;
    qint64 m_nowMs;
    qint64 m_nextTickMs;
    qint64 m_readyAtMs = 0;
    PowerState m_power = PowerState::Off;
    QString m_map;
    PlayerRoster m_roster;
    int m_loadNoise = 0; // a few percent up or down, changes every tick
    int m_diskUsedMb;
};

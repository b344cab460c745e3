#pragma once

#include <QString>
#include <QStringList>

// Fixed description of one rented game server: what it is called, how it is
// reached and what it is allowed to use. The simulation changes none of it.
struct GameServerProfile
{
    enum class InitialPower { Off, Running };

    QString name;
    QString apiKey;
    QString address;
    int port = 0;
    QStringList maps; // the first one is the map it starts on
    int playerSlots = 0;
    int typicalPlayers = 0; // how many players it tends to have while running
    bool password = false;
    int memoryQuotaMb = 0;
    int diskQuotaMb = 0;
    int diskUsedMb = 0;
    InitialPower initialPower = InitialPower::Off;
};

// The three servers of the demo, with the keys and names of demoservers.h.
QList<GameServerProfile> demoServerProfiles();

// `count` servers more (moreservers.h), every second one running.
QList<GameServerProfile> moreServerProfiles(int count);

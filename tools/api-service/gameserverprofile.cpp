#include "gameserverprofile.h"

#include "demoservers.h"
#include "moreservers.h"

QList<GameServerProfile> demoServerProfiles()
{
    GameServerProfile northFort;
    northFort.name = QString::fromUtf8(DemoServers::NorthFort.name);
    northFort.apiKey = QString::fromLatin1(DemoServers::NorthFort.apiKey);
    northFort.address = QStringLiteral("203.0.113.10");
    northFort.port = 27100;
    northFort.maps = {QStringLiteral("forest_outpost"), QStringLiteral("canyon_run"), QStringLiteral("frozen_lake"),
                      QStringLiteral("old_mill"), QStringLiteral("sky_bridge")};
    northFort.playerSlots = 16;
    northFort.typicalPlayers = 9;
    northFort.memoryQuotaMb = 1024;
    northFort.diskQuotaMb = 10240;
    northFort.diskUsedMb = 3480;
    northFort.initialPower = GameServerProfile::InitialPower::Running;

    GameServerProfile harborNight;
    harborNight.name = QString::fromUtf8(DemoServers::HarborNight.name);
    harborNight.apiKey = QString::fromLatin1(DemoServers::HarborNight.apiKey);
    harborNight.address = QStringLiteral("203.0.113.24");
    harborNight.port = 27200;
    harborNight.maps = {QStringLiteral("harbor_night"), QStringLiteral("dock_yard"), QStringLiteral("lighthouse")};
    harborNight.playerSlots = 24;
    harborNight.typicalPlayers = 14;
    harborNight.memoryQuotaMb = 2048;
    harborNight.diskQuotaMb = 20480;
    harborNight.diskUsedMb = 6120;
    harborNight.initialPower = GameServerProfile::InitialPower::Off;

    GameServerProfile privateClub;
    privateClub.name = QString::fromUtf8(DemoServers::PrivateClub.name);
    privateClub.apiKey = QString::fromLatin1(DemoServers::PrivateClub.apiKey);
    privateClub.address = QStringLiteral("203.0.113.37");
    privateClub.port = 27300;
    privateClub.maps = {QStringLiteral("citadel"), QStringLiteral("glass_garden"), QStringLiteral("salt_mine"),
                        QStringLiteral("citadel_night")};
    privateClub.playerSlots = 10;
    privateClub.typicalPlayers = 4;
    privateClub.password = true;
    privateClub.memoryQuotaMb = 768;
    privateClub.diskQuotaMb = 5120;
    privateClub.diskUsedMb = 1930;
    privateClub.initialPower = GameServerProfile::InitialPower::Running;

    return {northFort, harborNight, privateClub};
}

QList<GameServerProfile> moreServerProfiles(int count)
{
    QList<GameServerProfile> profiles;
    for (int number = 1; number <= count; ++number) {
        GameServerProfile profile;
        profile.name = MoreServers::name(number);
        profile.apiKey = MoreServers::apiKey(number);
        profile.address = QStringLiteral("198.51.100.%1").arg(number % 250 + 1);
        profile.port = 27000 + number;
        profile.maps = {QStringLiteral("arena"), QStringLiteral("depot")};
        profile.playerSlots = 12;
        profile.typicalPlayers = 5;
        profile.memoryQuotaMb = 1024;
        profile.diskQuotaMb = 4096;
        profile.diskUsedMb = 1024;
        profile.initialPower
            = number % 2 == 1 ? GameServerProfile::InitialPower::Running : GameServerProfile::InitialPower::Off;
        profiles.append(profile);
    }
    return profiles;
}

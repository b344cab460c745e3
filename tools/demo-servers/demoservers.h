#pragma once

// API keys and names of the three servers that the demo hosting service
// simulates. Anything that prepares demo settings for the control panel
// should take the keys from here, so both sides always agree.
//
// The keys deliberately contain "+", "/" and "=", which must travel
// percent-encoded in a query string.

namespace DemoServers {

struct Entry
{
    const char *name; // UTF-8
    const char *apiKey; // ASCII
};

// Running, open to everyone.
inline constexpr Entry NorthFort {"Северный форт", "nR4+kq/Tz8Wm1Lx="};

// Switched off.
inline constexpr Entry HarborNight {"Ночная гавань", "Bq93xVe7LsPd0aHk"};

// Running, protected by a password.
inline constexpr Entry PrivateClub {"Закрытый клуб", "c7/Yp+2mQ/9eRt=="};

inline constexpr Entry All[] = {NorthFort, HarborNight, PrivateClub};

} // namespace DemoServers

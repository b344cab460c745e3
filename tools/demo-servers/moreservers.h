#pragma once

#include <QString>

// Servers beyond the demo's three, for measuring many servers at once: the
// service simulates them with --more-servers N. Anything that asks about
// them takes their names and keys from here, so both sides agree.
namespace MoreServers {

constexpr int mostServers = 10000;

// Server `number`, counted from 1: "Сервер 0001", key "more-0001-key".
inline QString name(int number)
{
    return QStringLiteral("Сервер %1").arg(number, 4, 10, QLatin1Char('0'));
}

inline QString apiKey(int number)
{
    return QStringLiteral("more-%1-key").arg(number, 4, 10, QLatin1Char('0'));
}

} // namespace MoreServers

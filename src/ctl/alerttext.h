#pragma once

#include "ctl/statechange.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// The forms a reported state takes: the line on standard output, its JSON
// object, the Russian sentence, the webhook's body and the command's
// environment. Players and map of a server that could not be reached are
// unknown: "-/-" in the line, null in JSON, empty in the environment.
namespace AlertText {

// ISO 8601 with the offset from UTC always written out: 2026-12-08T17:30:05+03:00.
QString isoTime(const QDateTime &time);

// Tab-separated, ending with a newline. An alert: time, server, old state,
// new state, players n/max; a first report: time, server, state, players.
QString line(const StateChange &change);

// One compact JSON object and a newline. An alert: {"time", "server",
// "from", "to", "players", "players_max", "map"}; a first report has
// "state" in place of "from" and "to".
QByteArray jsonLine(const StateChange &change);

// «Северный форт»: Работает → Выключен, игроков 0/16
QString sentence(const StateChange &change);

// {"content": sentence, "text": sentence, "server", "from", "to",
// "players", "players_max", "map", "time"}: what Discord's, Slack-style and
// a Telegram bot's sendMessage webhooks all take.
QByteArray webhookBody(const StateChange &change);

// VALMORA_SERVER, VALMORA_FROM, VALMORA_TO, VALMORA_PLAYERS,
// VALMORA_PLAYERS_MAX, VALMORA_MAP and VALMORA_TIME.
QList<QPair<QString, QString>> environment(const StateChange &change);

} // namespace AlertText

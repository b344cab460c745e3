#pragma once

#include <QString>
#include <QVariantMap>

// The service's replies as the command-line tool prints them: the texts the
// window shows, one item a line, each line ending with a newline.
namespace ReplyText {

// State (worded as in the window), name, address, map, players n/max, then
// one line per player: name, score and time, separated by tabs.
QString status(const QVariantMap &reply);
// CPU, memory, players and disk: percent, and "used из quota".
QString resources(const QVariantMap &reply);
// One map a line.
QString maps(const QVariantMap &reply);
// What an action or a console command answered: its output or its message.
QString answer(const QVariantMap &reply);

} // namespace ReplyText

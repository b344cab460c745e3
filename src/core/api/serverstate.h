#pragma once

#include <QString>

// What the "online" field of a status reply says about a game server.
namespace ServerState {

enum Online { Off = 0, Running = 1, Starting = 2 };

// "Выключен", "Работает", "Запускается", or "Состояние неизвестно" for any
// other value.
QString name(int online);

// "Нет связи": no usable reply to the status query came, so the state is
// not known.
QString unreachableName();

} // namespace ServerState

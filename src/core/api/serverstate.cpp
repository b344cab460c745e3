#include "serverstate.h"

#include <QCoreApplication>

QString ServerState::name(int online)
{
    switch (online) {
    case Off:
        return QCoreApplication::translate("ServerState", "Выключен");
    case Running:
        return QCoreApplication::translate("ServerState", "Работает");
    case Starting:
        return QCoreApplication::translate("ServerState", "Запускается");
    default:
        return QCoreApplication::translate("ServerState", "Состояние неизвестно");
    }
}

QString ServerState::unreachableName()
{
    return QCoreApplication::translate("ServerState", "Нет связи");
}

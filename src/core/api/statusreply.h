#pragma once

#include <QList>
#include <QString>
#include <QVariantMap>

// A reply to the "status" query as both programs show it, read leniently:
// a missing key or a value of another type reads as an empty text, 0 or
// false.
struct StatusReply
{
    struct Player
    {
        QString name;
        QString score;
        QString time;
    };

    int online = 0; // the state code (ServerState)
    QString name;
    QString map;
    QString ip;
    QString port;
    QString players;
    QString playersMax;
    bool password = false;
    QList<Player> roster; // in the reply's order; a player without a name is left out

    static StatusReply read(const QVariantMap &reply);

    // "Работает", "Выключен", ... (ServerState::name).
    QString state() const;
    // "ip:port", as the window shows it.
    QString address() const;
};

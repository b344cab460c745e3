#pragma once

#include "core/crypto/machinecipher.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

class ServerStore;

// Which servers a watch asks about, with their API keys: the ones named,
// their keys read once at the start; or, with none named, every stored
// server, the file read again for each round so that servers added or
// removed meanwhile are followed. A stored server whose key cannot be read
// is left out, and said so once. The file is never written.
class WatchedServers
{
public:
    struct Server
    {
        QString name;
        QString apiKey;
    };

    // One Russian line for standard error: a server left out, or the file
    // unreadable for a round.
    using Warn = std::function<void(const QString &line)>;

    // `store` has been read already.
    WatchedServers(ServerStore &store, const QStringList &named, Warn warn);

    // Why there is nothing to watch, in Russian; empty when there is.
    QString problem() const { return startProblem; }

    // The servers to ask about in the next round, in the window's order.
    QList<Server> forRound();

private:
    void takeStored();

    ServerStore &store;
    Warn warn;
    bool following;
    QList<Server> servers;
    QString startProblem;

    MachineCipher cipher;
    QHash<QString, QString> deciphered; // record -> key, for the records seen before
    QSet<QString> unreadable; // records already said to be unreadable
    bool fileUnreadable = false;
};

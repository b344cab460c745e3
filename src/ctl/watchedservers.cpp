#include "watchedservers.h"

#include "ctl/serverstore.h"

#include <algorithm>

WatchedServers::WatchedServers(ServerStore &store, const QStringList &named, Warn warn)
    : store(store)
    , warn(std::move(warn))
    , following(named.isEmpty())
{
    if (following) {
        takeStored();
        if (servers.isEmpty())
            startProblem = QStringLiteral("нет серверов, за которыми можно следить: добавьте их "
                                          "(valmora-ctl add СЕРВЕР) или в окне программы");
        return;
    }
    for (const QString &name : named) {
        QString apiKey;
        startProblem = store.key(name, &apiKey);
        if (!startProblem.isEmpty())
            return;
        // A name given twice is watched once.
        if (std::none_of(servers.cbegin(), servers.cend(), [&name](const Server &s) { return s.name == name; }))
            servers.append({name, apiKey});
    }
}

QList<WatchedServers::Server> WatchedServers::forRound()
{
    if (!following)
        return servers;
    const QString failure = store.read();
    if (!failure.isEmpty()) {
        // Kept as they were until the file can be read again.
        if (!fileUnreadable)
            warn(failure + QStringLiteral("; наблюдение идёт за прежним списком серверов"));
        fileUnreadable = true;
        return servers;
    }
    fileUnreadable = false;
    takeStored();
    return servers;
}

void WatchedServers::takeStored()
{
    const QMap<QString, QString> &records = store.storedRecords();
    QHash<QString, QString> stillThere;
    servers.clear();
    for (auto it = records.cbegin(); it != records.cend(); ++it) {
        const QString &record = it.value();
        auto known = deciphered.constFind(record);
        if (known == deciphered.cend() && !unreadable.contains(record)) {
            const MachineCipher::Key key = cipher.decipher(record);
            if (key.outcome == MachineCipher::Unreadable) {
                unreadable.insert(record);
                warn(ServerStore::unreadableKey(it.key()) + QStringLiteral("; этот сервер пропущен"));
            } else {
                known = deciphered.insert(record, key.text);
            }
        }
        if (known == deciphered.cend())
            continue;
        stillThere.insert(record, known.value());
        servers.append({it.key(), known.value()});
    }
    // Only what the file holds now is remembered, so the memory stays flat.
    deciphered.swap(stillThere);
    QSet<QString> stillUnreadable;
    for (const QString &record : records) {
        if (unreadable.contains(record))
            stillUnreadable.insert(record);
    }
    unreadable.swap(stillUnreadable);
}

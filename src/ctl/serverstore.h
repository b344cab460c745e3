#pragma once

#include "core/api/apiendpoint.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// The servers and API keys that valmora-panel keeps in setting.ini, and the
// service it talks to, as the command-line tool reads and changes them.
// Changes go through the lock the window's saves take, one record each.
class ServerStore
{
public:
    struct Server
    {
        QString name;
        bool keyRead = false; // false: another machine's key, or one edited by hand
    };

    explicit ServerStore(const QString &path);

    // Reads the file; a missing one holds no servers. Returns what went
    // wrong in Russian, empty on success.
    QString read();

    // In the window's order: by name.
    QList<Server> servers() const;
    // Puts the server's API key into `apiKey`. Returns why there is none, in
    // Russian: no such server, or its key unreadable here; empty when found.
    QString key(const QString &name, QString *apiKey) const;
    // Name -> the enciphered key as stored, as the file held them when read.
    const QMap<QString, QString> &storedRecords() const { return records; }

    // The [Main] host and cacert entries, as the window applies them.
    const ApiEndpoint &endpoint() const { return api; }
    // What could not be applied of them, in Russian; the defaults stand instead.
    QStringList endpointProblems() const { return problems; }

    // Stores the key under the name, enciphered for this machine; an
    // existing server gets the new key. Returns what went wrong, empty on
    // success; `replaced` tells whether the name was stored before.
    QString add(const QString &name, const QString &apiKey, bool *replaced, QString *privacyProblem);
    // Returns what went wrong, empty on success; `found` is false when no
    // server of that name was stored, and then nothing is written.
    QString remove(const QString &name, bool *found, QString *privacyProblem);

    // "нет сервера «NAME»"
    static QString noSuchServer(const QString &name);
    // The server's key cannot be read on this machine, and how to mend that.
    static QString unreadableKey(const QString &name);

private:
    QString path;
    QMap<QString, QString> records; // name -> enciphered key
    ApiEndpoint api;
    QStringList problems;
};

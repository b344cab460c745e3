#pragma once

#include "core/api/apiendpoint.h"

#include <QHash>
#include <QMap>
#include <QObject>
#include <QString>

#include <functional>

class HistoryAccess;
class QTimer;
class QueuedHttp;

// "Записывать все серверы": once a minute, one status query for every
// stored server other than the selected one, on a client of its own, whose
// answers only the history takes; the window shows nothing of them.
class AllServersPoller : public QObject
{
    Q_OBJECT

public:
    using ServerList = std::function<QMap<QString, QString>()>; // name: key
    using Selected = std::function<QString()>;

    AllServersPoller(HistoryAccess *access, ServerList servers, Selected selected, const ApiEndpoint &endpoint,
                     int intervalMsec = 60000, QObject *parent = nullptr);

    // On: asks at once, then every interval. Off: asks nothing more.
    void setActive(bool on);
    bool isActive() const;

private:
    void poll();
    void finished(int id, bool error);

    HistoryAccess *access;
    ServerList servers;
    Selected selected;
    ApiEndpoint endpoint;
    QTimer *timer;
    QueuedHttp *http = nullptr; // made when first needed
    QHash<int, QString> pending; // GET id: server
};

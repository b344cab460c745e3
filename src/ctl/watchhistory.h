#pragma once

#include "core/history/historyrecorder.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>

class ServiceClient;
class WatchRounds;
struct ServiceReply;

// What a watch records in the history: every status answer of every round,
// a failed one as "Нет связи", and the resources of each server, asked for
// at most once a minute on the same client. The recorder writes on its
// own thread, so that a busy database delays no round and no alert.
class WatchHistory : public QObject
{
    Q_OBJECT

public:
    WatchHistory(const QString &path, WatchRounds &rounds, ServiceClient &client, QObject *parent = nullptr);

private:
    void onAnswered(const QString &server, const QString &apiKey, const ServiceReply &reply);
    void onReplied(int id, const ServiceReply &reply);

    ServiceClient &client;
    HistoryRecorder recorder;
    QHash<QString, QElapsedTimer> resourcesAsked; // server -> since its last resources query
    QHash<int, QString> pending; // resources query id -> server
};

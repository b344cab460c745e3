#pragma once

#include "core/api/servicereply.h"

#include <QHash>
#include <QObject>
#include <QPair>
#include <QString>

class HistoryAccess;

// Records what the window's own status and resources queries brought, for
// the server each was sent for: the window sends nothing more for it.
class QueryRecorder : public QObject
{
    Q_OBJECT

public:
    QueryRecorder(HistoryAccess *access, QObject *parent = nullptr);

    void sent(int id, const QString &server, const QString &kind);
    void finished(int id, const HttpExchange &exchange);

private:
    HistoryAccess *access;
    QHash<int, QPair<QString, QString>> pending; // id: server, kind
};

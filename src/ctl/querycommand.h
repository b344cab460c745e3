#pragma once

#include <QString>

struct CtlRequest;
class ServerStore;

// What a command asks the service: the kind of query and at most one
// parameter with its value (see ApiQuery).
struct ServiceQuery
{
    QString kind;
    QString parameter;
    QString value;
};

// Sends the query about the server named first in the request's arguments
// and prints the reply: as received with --json, otherwise as ReplyText
// words it for the kind. Returns the exit status; for status it tells
// whether the server runs.
int runQuery(const CtlRequest &request, ServerStore &store, const ServiceQuery &query);

#include "queryrecorder.h"

#include "core/api/apiquery.h"
#include "history/historyaccess.h"
#include "history/replysamples.h"

#include <optional>

QueryRecorder::QueryRecorder(HistoryAccess *access, QObject *parent)
    : QObject(parent)
    , access(access)
{ }

void QueryRecorder::sent(int id, const QString &server, const QString &kind)
{
    if (kind == ApiQuery::status || kind == ApiQuery::resources)
        pending.insert(id, {server, kind});
}

void QueryRecorder::finished(int id, const HttpExchange &exchange)
{
    const auto query = pending.constFind(id);
    if (query == pending.cend())
        return;
    const auto [server, kind] = query.value();
    pending.erase(query);
    if (kind == ApiQuery::status) {
        access->record(ReplySamples::status(server, access->now(), exchange));
    } else if (const std::optional<History::ResourceSample> sample
               = ReplySamples::resources(server, access->now(), exchange)) {
        access->record(*sample);
    }
}

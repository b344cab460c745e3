#include "replysamples.h"

#include "core/api/replyreader.h"
#include "core/api/statusreply.h"

namespace {

ServiceReply usableOrNot(const HttpExchange &exchange)
{
    // The failure's wording is not kept, only that there was one.
    return ServiceReply::read(exchange, QString(), 0);
}

int countOrUnknown(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= 0 ? value : -1;
}

} // namespace

namespace ReplySamples {

History::StatusSample status(const QString &server, qint64 time, const HttpExchange &exchange)
{
    History::StatusSample sample;
    sample.server = server;
    sample.time = time;
    const ServiceReply reply = usableOrNot(exchange);
    if (!reply.usable())
        return sample; // "Нет связи"
    const StatusReply status = StatusReply::read(reply.object);
    sample.state = History::stateOfOnline(status.online);
    sample.players = countOrUnknown(status.players);
    sample.limit = countOrUnknown(status.playersMax);
    sample.map = status.map;
    return sample;
}

std::optional<History::ResourceSample> resources(const QString &server, qint64 time, const HttpExchange &exchange)
{
    const ServiceReply reply = usableOrNot(exchange);
    if (!reply.usable())
        return std::nullopt;
    const auto percent = [&](const char *key) { return ReplyReader::integer(reply.object.value(QLatin1String(key))); };
    History::ResourceSample sample;
    sample.server = server;
    sample.time = time;
    sample.cpu = percent("cpu_proc");
    sample.memory = percent("mem_proc");
    sample.playerSlots = percent("players_proc");
    sample.disk = percent("disk_proc");
    return sample;
}

} // namespace ReplySamples

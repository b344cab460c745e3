#include "statusreply.h"

#include "core/api/replyreader.h"
#include "core/api/serverstate.h"

using namespace ReplyReader;

StatusReply StatusReply::read(const QVariantMap &reply)
{
    StatusReply status;
    status.online = integer(reply.value(QStringLiteral("online")));
    status.name = text(at(reply, {"data", "s", "name"}));
    status.map = text(at(reply, {"data", "s", "map"}));
    status.ip = text(at(reply, {"data", "b", "ip"}));
    status.port = text(at(reply, {"data", "b", "c_port"}));
    status.players = text(at(reply, {"data", "s", "players"}));
    status.playersMax = text(at(reply, {"data", "s", "playersmax"}));
    status.password = boolean(at(reply, {"data", "s", "password"}));

    const QVariantList players = list(at(reply, {"data", "p"}));
    for (const QVariant &element : players) {
        const QVariantMap player = object(element);
        Player row {text(player.value(QStringLiteral("name"))), text(player.value(QStringLiteral("score"))),
                    text(player.value(QStringLiteral("time")))};
        if (!row.name.isEmpty())
            status.roster.append(row);
    }
    return status;
}

QString StatusReply::state() const
{
    return ServerState::name(online);
}

QString StatusReply::address() const
{
    return ip + QLatin1Char(':') + port;
}

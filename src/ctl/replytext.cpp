#include "replytext.h"

#include "core/api/replyreader.h"
#include "core/api/statusreply.h"

using namespace ReplyReader;

namespace {

QString field(const QVariantMap &reply, const char *key)
{
    return text(reply.value(QLatin1String(key)));
}

// "35% (3480 MB из 10240 MB)", as the window's gauge and its tool tip.
QString gauge(const QVariantMap &reply, const char *percent, const char *used, const char *quota)
{
    return QStringLiteral("%1% (%2 из %3)")
        .arg(integer(reply.value(QLatin1String(percent))))
        .arg(field(reply, used), field(reply, quota));
}

} // namespace

QString ReplyText::status(const QVariantMap &reply)
{
    const StatusReply status = StatusReply::read(reply);
    QString lines = status.state() + QLatin1Char('\n');
    lines += QStringLiteral("Сервер: %1\n").arg(status.name);
    lines += QStringLiteral("Адрес: %1\n").arg(status.address());
    lines += QStringLiteral("Карта: %1\n").arg(status.map);
    lines += QStringLiteral("Игроки: %1/%2\n").arg(status.players, status.playersMax);
    if (status.password)
        lines += QStringLiteral("Сервер защищен паролем\n");
    for (const StatusReply::Player &player : status.roster)
        lines += QStringLiteral("%1\t%2\t%3\n").arg(player.name, player.score, player.time);
    return lines;
}

QString ReplyText::resources(const QVariantMap &reply)
{
    return QStringLiteral("Процессор: %1%\n").arg(field(reply, "cpu_proc"))
        + QStringLiteral("Память: %1\n").arg(gauge(reply, "mem_proc", "mem_used", "mem_quota"))
        + QStringLiteral("Игроки: %1\n").arg(gauge(reply, "players_proc", "players", "players_max"))
        + QStringLiteral("Диск: %1\n").arg(gauge(reply, "disk_proc", "disk_used", "disk_quota"));
}

QString ReplyText::maps(const QVariantMap &reply)
{
    const QStringList names = textList(reply.value(QStringLiteral("maps")));
    QString lines;
    for (const QString &name : names)
        lines += name + QLatin1Char('\n');
    return lines;
}

QString ReplyText::answer(const QVariantMap &reply)
{
    QString said = field(reply, "output");
    if (said.isEmpty())
        said = field(reply, "message");
    if (said.isEmpty())
        return QString();
    return said.endsWith(QLatin1Char('\n')) ? said : said + QLatin1Char('\n');
}

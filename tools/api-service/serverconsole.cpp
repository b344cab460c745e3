#include "serverconsole.h"

#include "simulatedserver.h"

namespace {

ConsoleAnswer failure(const char *error, const QString &text)
{
    return ConsoleAnswer {false, QString::fromLatin1(error), text};
}

ConsoleAnswer success(const QString &text)
{
    return ConsoleAnswer {true, QString(), text};
}

QString statusText(const SimulatedServer &server)
{
    const GameServerProfile &profile = server.profile();
    return QStringLiteral("hostname: %1\naddress: %2:%3\nmap: %4\nplayers: %5 (%6 max)")
        .arg(profile.name, profile.address)
        .arg(profile.port)
        .arg(server.currentMap())
        .arg(server.roster().count())
        .arg(profile.playerSlots);
}

QString usersText(const SimulatedServer &server)
{
    const QList<Player> &players = server.roster().players();
    QStringList lines {QStringLiteral("%1 users").arg(players.size())};
    for (int slot = 0; slot < players.size(); ++slot) {
        const Player &player = players.at(slot);
        lines << QStringLiteral("%1: %2 score %3 time %4")
                     .arg(slot + 1)
                     .arg(player.name)
                     .arg(player.score)
                     .arg(playTimeText(player, server.nowMs()));
    }
    return lines.join(QLatin1Char('\n'));
}

QString mapsText(const SimulatedServer &server)
{
    QStringList lines;
    for (const QString &map : server.profile().maps)
        lines << (map == server.currentMap() ? QStringLiteral("* ") : QStringLiteral("  ")) + map;
    return lines.join(QLatin1Char('\n'));
}

} // namespace

ConsoleAnswer runConsoleCommand(const SimulatedServer &server, const QString &command)
{
    const QString line = command.trimmed();
    if (line.isEmpty())
        return failure("empty_command", QStringLiteral("No command given"));
    if (server.power() != PowerState::Running)
        return failure("not_running", QStringLiteral("The server is not running"));

    const qsizetype space = line.indexOf(QLatin1Char(' '));
    const QString word = line.left(space).toLower();
    const QString rest = space < 0 ? QString() : line.mid(space + 1).trimmed();

    if (word == QLatin1String("say")) {
        if (rest.isEmpty())
            return failure("bad_arguments", QStringLiteral("Usage: say <text>"));
        return success(QStringLiteral("Console: ") + rest);
    }
    QString (*answer)(const SimulatedServer &) = nullptr;
    if (word == QLatin1String("status"))
        answer = statusText;
    else if (word == QLatin1String("users"))
        answer = usersText;
    else if (word == QLatin1String("maps"))
        answer = mapsText;
    else
        return failure("unknown_command", QStringLiteral("Unknown command: ") + word);

    if (!rest.isEmpty())
        return failure("bad_arguments", QStringLiteral("%1 takes no arguments").arg(word));
    return success(answer(server));
}

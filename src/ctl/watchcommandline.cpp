#include "watchcommandline.h"

#include "ctl/optionreading.h"
#include "ctl/webhookaddress.h"

#include <QCommandLineParser>

namespace {

constexpr double shortestIntervalSeconds = 5;
constexpr double longestIntervalSeconds = 86400;

} // namespace

QString readWatchArguments(const QStringList &arguments, WatchRequest *watch)
{
    QCommandLineParser parser;
    const QCommandLineOption interval(QStringLiteral("interval"), QString(), QStringLiteral("SECONDS"));
    const QCommandLineOption exec(QStringLiteral("exec"), QString(), QStringLiteral("COMMAND"));
    const QCommandLineOption webhook(QStringLiteral("webhook"), QString(), QStringLiteral("URL"));
    const QCommandLineOption noHistory(QStringLiteral("no-history"));
    parser.addOptions({interval, exec, webhook, noHistory});
    if (!parser.parse(QStringList {QStringLiteral("watch")} + arguments))
        return OptionReading::refusal(parser, QStringLiteral("watch"));

    if (parser.isSet(interval)) {
        QString problem = OptionReading::seconds(QStringLiteral("--interval"), parser.value(interval),
                                                 shortestIntervalSeconds, longestIntervalSeconds, &watch->intervalMsec);
        if (!problem.isEmpty())
            return problem;
    }
    if (parser.isSet(exec)) {
        watch->command = parser.value(exec);
        if (watch->command.trimmed().isEmpty())
            return QStringLiteral("после --exec нужна команда");
    }
    // The environment keeps the address, with its secret, out of the
    // command line that other users of the machine can read.
    const QString address
        = parser.isSet(webhook) ? parser.value(webhook) : qEnvironmentVariable("VALMORA_WEBHOOK").trimmed();
    if (parser.isSet(webhook) || !address.isEmpty()) {
        const QString problem = WebhookAddress::read(address, &watch->webhook);
        if (!problem.isEmpty())
            return parser.isSet(webhook) ? problem : QStringLiteral("VALMORA_WEBHOOK: ") + problem;
    }
    watch->history = !parser.isSet(noHistory);
    watch->servers = parser.positionalArguments();
    return QString();
}

QString watchHelp()
{
    return QStringLiteral("\nwatch [--interval SECONDS] [--exec COMMAND] [--webhook URL] [SERVER...]\n"
                          "  Asks for the state of the named servers (of every stored server when none\n"
                          "  is named, following the settings file as it changes) every SECONDS\n"
                          "  (default 60, at least 5); prints one line per server at the start, then an\n"
                          "  alert whenever a state changes: time, server, old and new state, players\n"
                          "  (with --json one JSON object a line). \"Нет связи\" counts after two failed\n"
                          "  queries in a row. Each alert also runs COMMAND through the system's shell,\n"
                          "  with VALMORA_SERVER, VALMORA_FROM, VALMORA_TO, VALMORA_PLAYERS,\n"
                          "  VALMORA_PLAYERS_MAX, VALMORA_MAP and VALMORA_TIME set (ended after 60 s),\n"
                          "  and is posted as JSON to URL (https://, or http:// to this machine; tried\n"
                          "  once more after 30 s); VALMORA_WEBHOOK gives URL when --webhook is not\n"
                          "  given. Runs until SIGINT or SIGTERM (Ctrl+C), then exits with 0.\n"
                          "  Each state is recorded in the history (see history), with the resources\n"
                          "  asked for at most once a minute per server; --no-history records nothing\n"
                          "  and asks for nothing more.\n");
}

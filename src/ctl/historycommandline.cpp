#include "historycommandline.h"

#include "core/history/historystore.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace {

// More than the hourly rows are kept, so that a longer period would show nothing more.
constexpr qint64 longestPeriod = HistoryStore::hourlyDays * 86400;
// Steps beyond this make a table nobody reads and a plot no browser draws quickly.
constexpr qint64 mostSteps = 20000;

} // namespace

qint64 historyDuration(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^([0-9]{1,7})([mhd])$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return 0;
    const qint64 count = match.captured(1).toLongLong();
    const QChar unit = match.captured(2).at(0);
    return count * (unit == u'm' ? 60 : unit == u'h' ? 3600 : 86400);
}

QString readHistoryArguments(const QStringList &arguments, bool json, HistoryRequest *history)
{
    QCommandLineParser parser;
    const QCommandLineOption since(QStringLiteral("since"), QString(), QStringLiteral("DURATION"));
    const QCommandLineOption step(QStringLiteral("step"), QString(), QStringLiteral("DURATION"));
    const QCommandLineOption csv(QStringLiteral("csv"));
    const QCommandLineOption svg(QStringLiteral("svg"), QString(), QStringLiteral("FILE"));
    parser.addOptions({since, step, csv, svg});
    if (!parser.parse(QStringList {QStringLiteral("history")} + arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (unknown.isEmpty())
            return QStringLiteral("ошибка в параметрах history: %1").arg(parser.errorText());
        const QString &name = unknown.constFirst();
        return QStringLiteral("неизвестный параметр команды history «%1%2»")
            .arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name);
    }
    const auto duration = [](const QCommandLineParser &p, const QCommandLineOption &option, qint64 *seconds) {
        const QString text = p.value(option);
        *seconds = historyDuration(text);
        if (*seconds > 0 && *seconds <= longestPeriod)
            return QString();
        return QStringLiteral("--%1 ждёт целое число с m, h или d (90m, 24h, 7d), не больше %2d, а не «%3»")
            .arg(option.names().constFirst())
            .arg(longestPeriod / 86400)
            .arg(text);
    };
    if (parser.isSet(since)) {
        QString problem = duration(parser, since, &history->sinceSeconds);
        if (!problem.isEmpty())
            return problem;
    }
    if (parser.isSet(step)) {
        QString problem = duration(parser, step, &history->stepSeconds);
        if (!problem.isEmpty())
            return problem;
        if (history->sinceSeconds / history->stepSeconds > mostSteps)
            return QStringLiteral("с шагом %1 получится больше %2 шагов; возьмите шаг длиннее")
                .arg(parser.value(step))
                .arg(mostSteps);
    }
    history->csv = parser.isSet(csv);
    if (history->csv && json)
        return QStringLiteral("--csv и --json не бывают вместе");
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1)
        return QStringLiteral("лишний аргумент «%1»: команде history нужен один сервер или ни одного")
            .arg(positional.at(1));
    history->server = positional.value(0);
    if (parser.isSet(svg)) {
        history->svgFile = parser.value(svg);
        if (history->svgFile.isEmpty())
            return QStringLiteral("после --svg нужно имя файла");
        if (history->server.isEmpty())
            return QStringLiteral("--svg рисует историю одного сервера: назовите его");
    }
    return QString();
}

QString historyHelp()
{
    return QStringLiteral("\nhistory [--since DURATION] [--step DURATION] [--csv] [--svg FILE] [SERVER]\n"
                          "  What watch recorded in history.sqlite beside the settings file: every\n"
                          "  state, the players and the resources, kept 14 days as taken and 400 days\n"
                          "  by the hour. A DURATION is a whole number with m, h or d (90m, 24h, 7d);\n"
                          "  the period is --since long (default 24h) and ends now. Without SERVER: one\n"
                          "  row per server with its last state, the share of each state, players,\n"
                          "  the peak CPU and memory. With SERVER: its history in steps of --step\n"
                          "  (default: the round length that gives at most 300 steps); a step without a\n"
                          "  sample has no data. --csv prints CSV, --json one JSON document, and --svg\n"
                          "  FILE also writes SERVER's plot as an SVG file.\n");
}

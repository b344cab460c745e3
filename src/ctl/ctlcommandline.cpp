#include "ctlcommandline.h"

#include "core/program/commonoptions.h"
#include "core/settings/settingsfile.h"
#include "ctl/watchcommandline.h"

#include <QCommandLineParser>
#include <QLocale>

namespace {

constexpr double longestTimeoutSeconds = 86400;

struct Command
{
    const char *name;
    const char *arguments;
    int fewest;
    int most; // -1: any number
    const char *what;
};

const Command commands[] = {
    {"list", "", 0, 0, "the stored servers, in the window's order"},
    {"status", "SERVER", 1, 1, "state, name, address, map and players"},
    {"resources", "SERVER", 1, 1, "CPU, memory, players and disk in use"},
    {"maps", "SERVER", 1, 1, "the server's maps, one a line"},
    {"start", "SERVER", 1, 1, "start the server"},
    {"stop", "SERVER", 1, 1, "stop the server"},
    {"restart", "SERVER", 1, 1, "restart the server"},
    {"map", "SERVER MAP", 2, 2, "switch the server to another map"},
    {"console", "SERVER WORD...", 2, -1, "send the words as one console command"},
    {"add", "SERVER", 1, 1, "store a server; its API key from standard input"},
    {"remove", "SERVER", 1, 1, "remove a stored server"},
    {"watch", "[SERVER...]", 0, -1, "alert when a server stops, starts or goes silent"},
    {"history", "[SERVER]", 0, -1, "what watch recorded: states, players, resources"},
};

const Command *findCommand(const QString &name)
{
    for (const Command &command : commands) {
        if (name == QLatin1String(command.name))
            return &command;
    }
    return nullptr;
}

QString description()
{
    QString text = QStringLiteral("Queries and controls game servers rented from the Valmora hosting service,\n"
                                  "with the servers and API keys that valmora-panel keeps. The options stand\n"
                                  "before the command; watch and history have options of\n"
                                  "their own, after the command.\n\n"
                                  "Commands:\n");
    for (const Command &command : commands) {
        const QString usage = QString::fromLatin1(command.name) + QLatin1Char(' ') + QLatin1String(command.arguments);
        text += QStringLiteral("  %1 %2\n").arg(usage, -26).arg(QLatin1String(command.what));
    }
    text += watchHelp();
    text += historyHelp();
    text += QStringLiteral("\nWith --json the service's reply is printed as received, and list prints\n"
                           "[{\"name\": ..., \"key\": true|false}].\n\nExit status:\n"
                           "  0  done; for status: the server runs\n"
                           "  1  status only: the server is off, starting or in a state not known\n"
                           "  2  a mistake on the command line\n"
                           "  3  the service could not be reached, failed the certificate check, did not\n"
                           "     answer in time, or answered with an HTTP status of 400 or more, with an\n"
                           "     error, or with no JSON object\n"
                           "  4  no such server, its API key cannot be read, or the settings file cannot\n"
                           "     be read or written; for watch also: no server to watch\n");
    return text;
}

struct Options
{
    QCommandLineOption json;
    QCommandLineOption timeout;
};

Options describe(QCommandLineParser &parser)
{
    parser.setApplicationDescription(description());
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    CommonOptions::add(parser,
                       QStringLiteral("Read the servers from FILE, and store them there, instead of the "
                                      "settings file valmora-panel uses. In use now: "));
    Options options {QCommandLineOption(QStringLiteral("json"),
                                        QStringLiteral("Print the service's reply as received, one JSON document.")),
                     QCommandLineOption(QStringLiteral("timeout"),
                                        QStringLiteral("Give up on the service after SECONDS (default 30)."),
                                        QStringLiteral("SECONDS"))};
    parser.addOptions({options.json, options.timeout});
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("One of the commands above."),
                                 QStringLiteral("COMMAND [ARGUMENTS]"));
    return options;
}

QString optionAsTyped(const QString &name)
{
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

} // namespace

CtlCommandLine::CtlCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    const Options options = describe(parser);
    if (!parser.parse(arguments)) {
        result = Outcome::Mistake;
        const QStringList unknown = parser.unknownOptionNames();
        problem = unknown.isEmpty()
            ? QStringLiteral("ошибка в командной строке: %1").arg(parser.errorText())
            : QStringLiteral("неизвестный параметр «%1»").arg(optionAsTyped(unknown.constFirst()));
        return;
    }
    wanted.json = parser.isSet(options.json);
    if (CommonOptions::settingsFile(parser, &wanted.settingsFile) == CommonOptions::Settings::Empty) {
        result = Outcome::Mistake;
        problem = QStringLiteral("после --settings нужно имя файла");
        return;
    }
    // The help names the file in use, so --settings is read first.
    switch (CommonOptions::request(parser)) {
    case CommonOptions::Request::Help:
        result = Outcome::Help;
        return;
    case CommonOptions::Request::Version:
        result = Outcome::Version;
        return;
    case CommonOptions::Request::Run:
        break;
    }
    if (parser.isSet(options.timeout)) {
        bool ok = false;
        const QString text = parser.value(options.timeout);
        const double seconds = QLocale::c().toDouble(text, &ok);
        if (!ok || !(seconds > 0) || seconds > longestTimeoutSeconds) {
            result = Outcome::Mistake;
            problem = QStringLiteral("--timeout ждёт число секунд больше нуля и не больше %1, а не «%2»")
                          .arg(longestTimeoutSeconds)
                          .arg(text);
            return;
        }
        wanted.timeoutMsec = qMax(1, qRound(seconds * 1000));
    }
    check(parser.positionalArguments());
}

void CtlCommandLine::check(const QStringList &positional)
{
    result = Outcome::Mistake;
    if (positional.isEmpty()) {
        problem = QStringLiteral("не указана команда");
        return;
    }
    const Command *command = findCommand(positional.constFirst());
    if (!command) {
        problem = positional.constFirst().startsWith(QLatin1Char('-'))
            ? QStringLiteral("параметр «%1» стоит не на месте: параметры ставятся перед командой")
                  .arg(positional.constFirst())
            : QStringLiteral("неизвестная команда «%1»").arg(positional.constFirst());
        return;
    }
    const QStringList arguments = positional.mid(1);
    if (arguments.size() < command->fewest) {
        problem = QStringLiteral("команде %1 нужно: %2")
                      .arg(QLatin1String(command->name), QLatin1String(command->arguments));
        return;
    }
    if (command->most >= 0 && arguments.size() > command->most) {
        const QString &extra = arguments.at(command->most);
        problem = extra.startsWith(QLatin1Char('-'))
            ? QStringLiteral("лишний аргумент «%1»: параметры ставятся перед командой").arg(extra)
            : QStringLiteral("лишний аргумент «%1»").arg(extra);
        return;
    }
    if (qstrcmp(command->name, "add") == 0 && !SettingsFile::isStorableName(arguments.constFirst())) {
        problem = arguments.constFirst().isEmpty()
            ? QStringLiteral("название сервера не может быть пустым")
            : QStringLiteral("название сервера не может содержать символы «/» и «\\»");
        return;
    }
    if (qstrcmp(command->name, "history") == 0) {
        problem = readHistoryArguments(arguments, wanted.json, &wanted.history);
        if (!problem.isEmpty())
            return;
    }
    if (qstrcmp(command->name, "watch") == 0) {
        problem = readWatchArguments(arguments, &wanted.watch);
        if (!problem.isEmpty())
            return;
    }
    result = Outcome::Run;
    wanted.command = positional.constFirst();
    wanted.arguments = arguments;
}

QString CtlCommandLine::helpText() const
{
    QCommandLineParser parser;
    describe(parser);
    return CommonOptions::helpText(parser, wanted.settingsFile);
}

#include "ctlcommandline.h"

#include "core/program/commonoptions.h"
#include "ctl/commandtable.h"
#include "ctl/optionreading.h"
#include "ctl/watchcommandline.h"

#include <QCommandLineParser>

namespace {

constexpr double longestTimeoutSeconds = 86400;

QString description()
{
    QString text = QStringLiteral("Queries and controls game servers rented from the Valmora hosting service,\n"
                                  "with the servers and API keys that valmora-panel keeps. The options stand\n"
                                  "before the command; watch and history have options of\n"
                                  "their own, after the command.\n\n"
                                  "Commands:\n");
    const QList<const CtlCommand *> commands = CommandTable::all();
    for (const CtlCommand *command : commands) {
        const QString usage = QString::fromLatin1(command->name) + QLatin1Char(' ') + QLatin1String(command->arguments);
        text += QStringLiteral("  %1 %2\n").arg(usage, -26).arg(QLatin1String(command->what));
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

} // namespace

CtlCommandLine::CtlCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    const Options options = describe(parser);
    if (!parser.parse(arguments)) {
        result = Outcome::Mistake;
        problem = OptionReading::refusal(parser);
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
        problem = OptionReading::seconds(QStringLiteral("--timeout"), parser.value(options.timeout), 0,
                                         longestTimeoutSeconds, &wanted.timeoutMsec);
        if (!problem.isEmpty()) {
            result = Outcome::Mistake;
            return;
        }
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
    const CtlCommand *command = CommandTable::find(positional.constFirst());
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
    if (command->check) {
        problem = command->check(arguments, &wanted);
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

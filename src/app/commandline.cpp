#include "commandline.h"

#include "core/program/commonoptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>

namespace {

// Options that QApplication takes itself, with and without a value. They are
// accepted here and left in place for it.
const char *const qtOptionsWithValue[] = {
    "platform",    "platformpluginpath", "platformtheme", "plugin",  "qwindowgeometry", "geometry",
    "qwindowicon", "qwindowtitle",       "display",       "session", "style",           "stylesheet",
};
const char *const qtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

void describe(QCommandLineParser &parser)
{
    // Qt's options start with a single dash and are words, not letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("Control panel for game servers rented from the Valmora hosting service."));
    CommonOptions::add(parser,
                       QStringLiteral("Keep the server list and the console history in FILE. "
                                      "Without this option the program uses setting.ini beside "
                                      "its executable if that file exists or can be created "
                                      "there, and the user's configuration folder otherwise. "
                                      "In use now: "));

    for (const char *name : qtOptionsWithValue) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char *name : qtFlags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

} // namespace

CommandLine::CommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    describe(parser);
    if (!parser.parse(arguments)) {
        request = Request::Mistake;
        mistake = parser.errorText();
        return;
    }
    if (!parser.positionalArguments().isEmpty()) {
        request = Request::Mistake;
        mistake = QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().constFirst());
        return;
    }
    switch (CommonOptions::request(parser)) {
    case CommonOptions::Request::Help:
        request = Request::Help;
        break;
    case CommonOptions::Request::Version:
        request = Request::Version;
        break;
    case CommonOptions::Request::Run:
        break;
    }
    if (CommonOptions::settingsFile(parser, &settingsPath) == CommonOptions::Settings::Empty) {
        request = Request::Mistake;
        mistake = QStringLiteral("--settings needs the name of a file.");
    }
}

bool CommandLine::answersItself() const
{
    return request != Request::Window;
}

QString CommandLine::settingsFile() const
{
    return settingsPath;
}

QString CommandLine::helpText() const
{
    QCommandLineParser parser;
    describe(parser);
    return CommonOptions::helpText(parser, QDir::toNativeSeparators(settingsPath));
}

int CommandLine::answer() const
{
    const QString program = QCoreApplication::applicationName();
    switch (request) {
    case Request::Help:
        std::fputs(qPrintable(helpText()), stdout);
        return 0;
    case Request::Version:
        std::fputs(qPrintable(CommonOptions::versionLine()), stdout);
        return 0;
    case Request::Mistake:
        std::fprintf(stderr, "%s: %s\nTry '%s --help' for the options.\n", qPrintable(program), qPrintable(mistake),
                     qPrintable(program));
        return 2;
    case Request::Window:
        break;
    }
    return 0;
}

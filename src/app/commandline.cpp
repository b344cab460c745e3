#include "commandline.h"

#include "settingslocation.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {

const QString settingsName = QStringLiteral("settings");
// Stands for the file in use while the help is wrapped into lines, so that a
// long path is not broken in the middle.
const QString fileInUse = QStringLiteral("FILE-IN-USE");

// Options that QApplication takes itself, with and without a value. They are
// accepted here and left in place for it.
const char *const qtOptionsWithValue[] = {
    "platform",    "platformpluginpath", "platformtheme", "plugin",  "qwindowgeometry", "geometry",
    "qwindowicon", "qwindowtitle",       "display",       "session", "style",           "stylesheet",
};
const char *const qtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

struct Options
{
    QCommandLineOption help;
    QCommandLineOption version;
    QCommandLineOption settings;
};

Options describe(QCommandLineParser &parser)
{
    // Qt's options start with a single dash and are words, not letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("Control panel for game servers rented from the Valmora hosting service."));
    Options options {parser.addHelpOption(), parser.addVersionOption(),
                     QCommandLineOption(settingsName,
                                        QStringLiteral("Keep the server list and the console history in FILE. "
                                                       "Without this option the program uses setting.ini beside "
                                                       "its executable if that file exists or can be created "
                                                       "there, and the user's configuration folder otherwise. "
                                                       "In use now: ")
                                            + fileInUse,
                                        QStringLiteral("FILE"))};
    parser.addOption(options.settings);

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
    return options;
}

} // namespace

CommandLine::CommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    const Options options = describe(parser);
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
    if (parser.isSet(options.help) || parser.isSet(QStringLiteral("help-all"))) {
        request = Request::Help;
    } else if (parser.isSet(options.version)) {
        request = Request::Version;
    }
    if (parser.isSet(options.settings)) {
        const QString file = parser.value(options.settings);
        if (file.isEmpty()) {
            request = Request::Mistake;
            mistake = QStringLiteral("--settings needs the name of a file.");
            return;
        }
        settingsPath = QFileInfo(file).absoluteFilePath();
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
    QString text = parser.helpText();
    return text.replace(fileInUse,
                        settingsPath.isEmpty() ? SettingsLocation::defaultFilePath()
                                               : QDir::toNativeSeparators(settingsPath));
}

int CommandLine::answer() const
{
    const QString program = QCoreApplication::applicationName();
    switch (request) {
    case Request::Help:
        std::fputs(qPrintable(helpText()), stdout);
        return 0;
    case Request::Version:
        std::printf("%s %s\n", qPrintable(program), qPrintable(QCoreApplication::applicationVersion()));
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

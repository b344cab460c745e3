// valmora-ctl: the command-line companion of valmora-panel, on the same
// settings file and the same library; Qt Core and Network only.

#include "commands.h"
#include "console.h"
#include "ctlcommandline.h"
#include "exitcode.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    const QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("valmora-ctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));
    Console::useUtf8();

    const CtlCommandLine commandLine(QCoreApplication::arguments());
    switch (commandLine.outcome()) {
    case CtlCommandLine::Outcome::Help:
        Console::print(commandLine.helpText());
        return ExitDone;
    case CtlCommandLine::Outcome::Version:
        Console::print(QCoreApplication::applicationName() + QLatin1Char(' ') + QCoreApplication::applicationVersion()
                       + QLatin1Char('\n'));
        return ExitDone;
    case CtlCommandLine::Outcome::Mistake:
        Console::printError(commandLine.mistake() + QStringLiteral(" (см. valmora-ctl --help)"));
        return ExitUsage;
    case CtlCommandLine::Outcome::Run:
        break;
    }
    return runCommand(commandLine.request());
}

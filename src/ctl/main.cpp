// valmora-ctl: the command-line companion of valmora-panel, on the same
// settings file and the same library; Qt Core and Network only.

#include "core/program/commonoptions.h"
#include "ctl/commands.h"
#include "ctl/console.h"
#include "ctl/ctlcommandline.h"
#include "ctl/exitcode.h"

#include <QCoreApplication>

#ifdef VALMORA_OPENSSL_NO_ATEXIT
#include <openssl/crypto.h>
#endif

namespace {

QtMessageHandler qtHandler = nullptr;

// The library's and Qt's warnings are meant for a window's log; here
// standard error carries one line of our own for a failure, and nothing else.
void keepOnlyGraveMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtFatalMsg || type == QtCriticalMsg)
        qtHandler(type, context, message);
}

} // namespace

int main(int argc, char *argv[])
{
    qtHandler = qInstallMessageHandler(keepOnlyGraveMessages);
#ifdef VALMORA_OPENSSL_NO_ATEXIT
    // Qt joins its HTTP thread before that thread has released its OpenSSL
    // state, and the process ends right after the query. OpenSSL's own
    // clean-up at exit would race that thread (a double free, or the state
    // left half freed); the system takes the memory back anyway.
    OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr);
#endif
    const QCoreApplication app(argc, argv);
    CommonOptions::identify("valmora-ctl");
    Console::useUtf8();

    const CtlCommandLine commandLine(QCoreApplication::arguments());
    switch (commandLine.outcome()) {
    case CtlCommandLine::Outcome::Help:
        Console::print(commandLine.helpText());
        return ExitDone;
    case CtlCommandLine::Outcome::Version:
        Console::print(CommonOptions::versionLine());
        return ExitDone;
    case CtlCommandLine::Outcome::Mistake:
        Console::printError(commandLine.mistake() + QStringLiteral(" (см. valmora-ctl --help)"));
        return ExitUsage;
    case CtlCommandLine::Outcome::Run:
        break;
    }
    return runCommand(commandLine.request());
}

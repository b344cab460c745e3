#include "alertcommand.h"

#include "ctl/alerttext.h"
#include "ctl/commandtree.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

constexpr int mostAtOnce = 8;

} // namespace

AlertCommand::AlertCommand(const QString &command, int longestRunMsec, QObject *parent)
    : QObject(parent)
    , command(command)
    , longestRunMsec(longestRunMsec)
{ }

AlertCommand::~AlertCommand()
{
    for (QProcess *process : qAsConst(running)) {
        process->disconnect(this);
        CommandTree::end(process);
    }
}

void AlertCommand::run(const StateChange &alert)
{
    waiting.enqueue(alert);
    startNext();
}

QProcess *AlertCommand::makeProcess(const StateChange &alert)
{
    auto *process = new QProcess(this);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QList<QPair<QString, QString>> variables = AlertText::environment(alert);
    for (const auto &[name, value] : variables)
        environment.insert(name, value);
    process->setProcessEnvironment(environment);
    process->setStandardInputFile(QProcess::nullDevice());
#ifdef Q_OS_WIN
    // cmd /s drops the first and the last quote of what follows /c, so a
    // command that starts and ends with quotes of its own keeps them.
    const QString shell = qEnvironmentVariable("ComSpec", QStringLiteral("cmd.exe"));
    process->setProgram(shell);
    process->setNativeArguments(QStringLiteral("/d /s /c \"%1\"").arg(command));
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->setStandardOutputFile(QProcess::nullDevice());
    // Without a console of its own (the windowless valmora-ctlw), a shell
    // would open a console window for every alert.
    if (!GetConsoleWindow()) {
        process->setCreateProcessArgumentsModifier(
            [](QProcess::CreateProcessArguments *arguments) { arguments->flags |= CREATE_NO_WINDOW; });
    }
#else
    process->setProgram(QStringLiteral("/bin/sh"));
    process->setArguments({QStringLiteral("-c"), command});
    process->setProcessChannelMode(QProcess::ForwardedChannels);
#endif
    CommandTree::prepare(process);
    return process;
}

void AlertCommand::startNext()
{
    while (running.size() < mostAtOnce && !waiting.isEmpty()) {
        const StateChange alert = waiting.dequeue();
        QProcess *process = makeProcess(alert);
        running.append(process);
        const QString server = alert.server;

        auto *deadline = new QTimer(process);
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, this, [this, process, server] {
            process->disconnect(this);
            CommandTree::end(process);
            finished(process, server, QStringLiteral("не закончилась за %1 с и прервана").arg(longestRunMsec / 1000.0));
        });
        connect(process, &QProcess::finished, this, [this, process, server](int exitCode, QProcess::ExitStatus status) {
            QString failure;
            if (status == QProcess::CrashExit)
                failure = QStringLiteral("завершилась аварийно");
            else if (exitCode != 0)
                failure = QStringLiteral("завершилась с кодом %1").arg(exitCode);
            finished(process, server, failure);
        });
        connect(process, &QProcess::errorOccurred, this, [this, process, server](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                finished(process, server, QStringLiteral("не запустилась: %1").arg(process->errorString()));
        });
        process->start();
        CommandTree::adopt(process);
        deadline->start(longestRunMsec);
    }
}

void AlertCommand::finished(QProcess *process, const QString &server, const QString &failure)
{
    if (!running.removeOne(process))
        return;
    if (!failure.isEmpty())
        emit failed(QStringLiteral("команда --exec для сервера «%1» %2").arg(server, failure));
    CommandTree::release(process);
    process->disconnect(this);
    process->deleteLater();
    startNext();
}

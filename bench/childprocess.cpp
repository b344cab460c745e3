#include "childprocess.h"

#include <QFile>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace {

const QByteArray reportStart = "launched: ";

// Spawns the command with standard output into a pipe and returns all of it.
QByteArray readOutputOf(const QList<QByteArray> &command, const QByteArray &errorPath)
{
    std::vector<char *> argv;
    QList<QByteArray> storage = command;
    for (QByteArray &item : storage)
        argv.push_back(item.data());
    argv.push_back(nullptr);

    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        return QByteArray();

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorPath.constData(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    pid_t pid = 0;
    const int spawnError = posix_spawnp(&pid, argv.front(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);

    QByteArray output;
    if (spawnError == 0) {
        // Read while the child runs, so that it never blocks on a full pipe.
        char buffer[4096];
        for (;;) {
            const ssize_t got = read(pipeEnds[0], buffer, sizeof buffer);
            if (got > 0)
                output.append(buffer, got);
            else if (got == 0 || errno != EINTR)
                break;
        }
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    }
    close(pipeEnds[0]);
    return output;
}

} // namespace

ChildRun runChild(const QString &launcher, const QString &program, const QStringList &arguments,
                  const QString &errorLog)
{
    QList<QByteArray> command {QFile::encodeName(launcher), QFile::encodeName(program)};
    for (const QString &argument : arguments)
        command << argument.toLocal8Bit();
    const QByteArray errorPath = errorLog.isEmpty() ? QByteArray("/dev/null") : QFile::encodeName(errorLog);
    const QByteArray output = readOutputOf(command, errorPath);

    ChildRun run;
    const qsizetype reportAt = output.lastIndexOf(reportStart);
    if (reportAt < 0 || (reportAt > 0 && output.at(reportAt - 1) != '\n'))
        return run;
    const QByteArray report = output.mid(reportAt);
    run.exitCode = int(outputValue(report, "exit"));
    run.started = run.exitCode != 127;
    run.wallMs = outputValue(report, "wall_ms");
    run.cpuMs = outputValue(report, "cpu_ms");
    run.peakMemoryMiB = outputValue(report, "peak_kib") / 1024.0;
    run.output = output.left(reportAt);
    return run;
}

double outputValue(const QByteArray &output, const QByteArray &key, double fallback)
{
    const QList<QByteArray> words = output.simplified().split(' ');
    for (const QByteArray &word : words) {
        if (word.startsWith(key + '=')) {
            bool ok = false;
            const double value = word.mid(key.size() + 1).toDouble(&ok);
            return ok ? value : fallback;
        }
    }
    return fallback;
}

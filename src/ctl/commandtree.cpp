#include "commandtree.h"

#include <QProcess>
#include <QVariant>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <csignal>
#include <unistd.h>
#endif

namespace {

constexpr int endPatienceMsec = 1000;

#ifdef Q_OS_WIN
const char jobProperty[] = "valmoraJob";

HANDLE jobOf(const QProcess *process)
{
    return reinterpret_cast<HANDLE>(process->property(jobProperty).value<quintptr>());
}
#endif

} // namespace

void CommandTree::prepare(QProcess *process)
{
#ifdef Q_OS_WIN
    Q_UNUSED(process)
#else
    process->setChildProcessModifier([] {
        ::setpgid(0, 0);
        ::dup2(STDERR_FILENO, STDOUT_FILENO);
    });
#endif
}

void CommandTree::adopt(QProcess *process)
{
#ifdef Q_OS_WIN
    HANDLE child = OpenProcess(PROCESS_SET_QUOTA | PROCESS_TERMINATE, FALSE, DWORD(process->processId()));
    if (!child)
        return;
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (job && AssignProcessToJobObject(job, child))
        process->setProperty(jobProperty, QVariant::fromValue(reinterpret_cast<quintptr>(job)));
    else if (job)
        CloseHandle(job);
    CloseHandle(child);
#else
    Q_UNUSED(process)
#endif
}

void CommandTree::end(QProcess *process)
{
#ifdef Q_OS_WIN
    if (HANDLE job = jobOf(process))
        TerminateJobObject(job, 1);
    release(process);
#else
    if (process->processId() > 0)
        ::kill(-pid_t(process->processId()), SIGKILL);
#endif
    process->kill();
    process->waitForFinished(endPatienceMsec);
}

void CommandTree::release(QProcess *process)
{
#ifdef Q_OS_WIN
    if (HANDLE job = jobOf(process)) {
        CloseHandle(job);
        process->setProperty(jobProperty, QVariant());
    }
#else
    Q_UNUSED(process)
#endif
}

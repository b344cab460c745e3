#include "watchend.h"

#include "patience.h"

#include <QProcess>

bool endWatch(QProcess &watch)
{
#ifdef Q_OS_WIN
    watch.kill();
    return watch.waitForFinished(patienceMs);
#else
    watch.terminate();
    return watch.waitForFinished(patienceMs) && watch.exitStatus() == QProcess::NormalExit && watch.exitCode() == 0;
#endif
}

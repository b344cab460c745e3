#include "historyfile.h"

#include "core/settings/privatefile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include "core/settings/windowsfileaccess.h"
#endif

namespace {

const char *const companions[] = {"", "-wal", "-shm"};

} // namespace

QString HistoryFile::besideSettings(const QString &settingsPath)
{
    return QFileInfo(settingsPath).absoluteDir().filePath(QStringLiteral("history.sqlite"));
}

QString HistoryFile::keepPrivate(const QString &path)
{
    // Made owner-only before SQLite opens it, which gives its -wal and -shm
    // files the same mode; on Windows this makes the folder only.
    QString problem = PrivateFile::prepare(path);
    if (!problem.isEmpty())
        return problem;
    for (const char *suffix : companions) {
        const QString file = path + QLatin1String(suffix);
        if (!QFileInfo(file).isFile())
            continue;
#ifdef Q_OS_WIN
        problem = WindowsFileAccess::restrictToCurrentUser(file);
        if (!problem.isEmpty())
            return problem;
#else
        if (!QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
            return QStringLiteral("cannot restrict the permissions of %1").arg(file);
#endif
    }
    return QString();
}

QString HistoryFile::putAside(const QString &path, qint64 utcSeconds)
{
    const QString stamp
        = QDateTime::fromSecsSinceEpoch(utcSeconds, Qt::UTC).toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = path + QStringLiteral(".damaged-") + stamp;
    // Two damaged files in one second keep both.
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = path + QStringLiteral(".damaged-") + stamp + QLatin1Char('-') + QString::number(n);
    if (!QFile::rename(path, aside))
        return QString();
    for (const char *suffix : companions) {
        if (*suffix && QFileInfo::exists(path + QLatin1String(suffix)))
            QFile::rename(path + QLatin1String(suffix), aside + QLatin1String(suffix));
    }
    return aside;
}

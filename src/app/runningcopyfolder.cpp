#include "runningcopyfolder.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isUsersAlone(const QString &folder)
{
    struct stat status = {};
    if (::lstat(QFile::encodeName(folder).constData(), &status) != 0)
        return false;
    return S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() && (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// A folder that another account made first, under this name, is not used.
bool madeOrUsersAlone(const QString &folder)
{
    if (::mkdir(QFile::encodeName(folder).constData(), S_IRWXU) != 0 && errno != EEXIST)
        return false;
    return isUsersAlone(folder);
}

bool fits(const QString &folder, const QString &socketFile)
{
    return QFile::encodeName(QDir(folder).filePath(socketFile)).size() <= RunningCopyFolder::maxSocketPathBytes;
}

} // namespace

QString RunningCopyFolder::find(const QString &socketFile)
{
    // Set by the login session, and left set by "su" for the user before,
    // hence the check of its owner.
    QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && fits(runtime, socketFile) && isUsersAlone(runtime))
        return runtime;

    // Short and on a local disk: the usual place without a login session.
    QString temporary = QDir(QDir::tempPath()).filePath(QStringLiteral("valmora-panel-%1").arg(quint64(::geteuid())));
    if (fits(temporary, socketFile) && madeOrUsersAlone(temporary))
        return temporary;

    // The temporary folder's name can be taken by anyone; this one cannot.
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (QDir::isAbsolutePath(cache)) {
        QString own = QDir(cache).filePath(QStringLiteral("valmora-panel"));
        if (fits(own, socketFile) && QDir().mkpath(cache) && madeOrUsersAlone(own))
            return own;
    }
    return QString();
}

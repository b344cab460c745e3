#include "privatefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include "core/settings/windowsfileaccess.h"

#include <atomic>
#endif

QString PrivateFile::prepare(const QString &path)
{
#ifdef Q_OS_UNIX
    QFileInfo file(path);
    const QString folder = file.absolutePath();
    // Another program (the window beside valmora-ctl) may make the folder
    // or the file at the same moment: what then exists is as good.
    if (!QFileInfo::exists(folder)) {
        const QFileInfo folderInfo(folder);
        if ((!QDir().mkpath(folderInfo.absolutePath())
             || !QDir().mkdir(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner))
            && !QFileInfo(folder).isDir())
            return QStringLiteral("cannot create the folder %1").arg(folder);
    }

    const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (!file.exists()) {
        QFile created(path);
        if (created.open(QIODevice::WriteOnly | QIODevice::NewOnly, ownerOnly))
            return QString();
        file.refresh();
        if (!file.exists())
            return created.errorString();
    }

    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
        | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    // Anything but a plain file is left for the save to report.
    if (file.isFile() && (file.permissions() & others) && !QFile::setPermissions(path, ownerOnly))
        return QStringLiteral("cannot restrict the permissions of %1").arg(path);
#else
    // The access list is set after the save (see restrictExisting()); only
    // the folder (the per-user one is new for a new user) must exist for the
    // save's lock file. A folder that cannot be made is no privacy problem:
    // the save then fails and says so.
    QDir().mkpath(QFileInfo(path).absolutePath());
#endif
    return QString();
}

void PrivateFile::restrictExisting(const QString &path)
{
#ifdef Q_OS_WIN
    if (!QFileInfo(path).isFile())
        return;
    const QString problem = WindowsFileAccess::restrictToCurrentUser(path);
    static std::atomic_bool warned {false};
    if (!problem.isEmpty() && !warned.exchange(true)) {
        qWarning("Cannot keep the settings file %s to this user alone, it keeps the access its folder gives: %s",
                 qUtf8Printable(QDir::toNativeSeparators(path)), qUtf8Printable(problem));
    }
#else
    Q_UNUSED(path)
#endif
}

#include "filewatch.h"

#include <QFileInfo>

namespace {

constexpr int settleMsec = 250;

} // namespace

FileWatch::FileWatch(const QString &path, QObject *parent)
    : QObject(parent)
    , path(QFileInfo(path).absoluteFilePath())
{
    settle.setSingleShot(true);
    settle.setInterval(settleMsec);
    connect(&settle, &QTimer::timeout, this, &FileWatch::changed);
    const auto noticed = [this] {
        watchAgain();
        settle.start();
    };
    connect(&watcher, &QFileSystemWatcher::fileChanged, this, noticed);
    connect(&watcher, &QFileSystemWatcher::directoryChanged, this, noticed);
    watchAgain();
}

void FileWatch::watchAgain()
{
    QStringList wanted;
    if (QFileInfo::exists(path))
        wanted << path;
    // A folder not made yet is watched for from the one above it.
    const QFileInfo folder(QFileInfo(path).absolutePath());
    if (folder.isDir())
        wanted << folder.absoluteFilePath();
    else if (QFileInfo(folder.absolutePath()).isDir())
        wanted << folder.absolutePath();

    const QStringList watched = watcher.files() + watcher.directories();
    for (const QString &old : watched) {
        if (!wanted.contains(old))
            watcher.removePath(old);
    }
    for (const QString &next : qAsConst(wanted)) {
        if (!watched.contains(next))
            watcher.addPath(next);
    }
}

#pragma once

#include <QFile>
#include <QString>

// Unix file modes; Windows has none (its files carry access lists), and the
// tests that look at modes skip there.
#ifdef Q_OS_UNIX

#include <sys/stat.h>

// The permission bits of a file or folder as the system has them (0600,
// 0755, ...), or -1 when they cannot be read; and setting them.
inline int fileMode(const QString &path)
{
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return -1;
    return int(status.st_mode & 07777);
}

inline bool setFileMode(const QString &path, mode_t mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

#endif

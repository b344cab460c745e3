#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

// Tells when a file may have changed: written in place, replaced by an
// atomic save (a new file renamed over it), created or removed. A burst of
// events, such as one save, is told once, a moment after it ends.
class FileWatch : public QObject
{
    Q_OBJECT

public:
    explicit FileWatch(const QString &path, QObject *parent = nullptr);

signals:
    void changed();

private:
    // An atomic save replaces the file, and the system stops watching the
    // one it replaced; the folder tells of the new one.
    void watchAgain();

    QString path;
    QFileSystemWatcher watcher;
    QTimer settle;
};

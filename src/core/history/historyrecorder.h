#pragma once

#include "core/history/historysample.h"

#include <QList>
#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>

#include <functional>
#include <memory>

// The front that programs record through: record() only queues the sample,
// and a thread of the recorder's own writes the queue to the history file,
// so that a busy database never holds up the caller's event loop.
//
// On that thread: the file is created at the first sample; a damaged one
// is renamed aside and a new one begun, with one warning naming it; a file
// that cannot be written stops the recording with one warning, and the
// first sample an hour later (by the clock) tries again. Samples are folded
// into hours at most once an hour.
class HistoryRecorder
{
public:
    // Called on the recorder's thread, in Russian; by default Qt's warning output.
    using Warning = std::function<void(const QString &)>;
    // Waits, on the recorder's thread, before a damaged file's rename is
    // tried again (Windows renames no file that a reading has open); by
    // default a quarter of a second.
    using Pause = std::function<void()>;

    explicit HistoryRecorder(const QString &path, History::Clock clock = History::systemClock(), Warning warning = {},
                             Pause renamePause = {});
    // Writes what is queued, then ends the thread.
    ~HistoryRecorder();
    HistoryRecorder(const HistoryRecorder &) = delete;
    HistoryRecorder &operator=(const HistoryRecorder &) = delete;

    void record(const History::StatusSample &sample);
    void record(const History::ResourceSample &sample);

    // Waits until everything queued before the call is written or given up.
    void flush();

private:
    void run();
    void writeBatch(class HistoryStore &store, const QList<History::StatusSample> &statuses,
                    const QList<History::ResourceSample> &resources);
    bool ready(HistoryStore &store, qint64 now);
    void stopRecording(const QString &problem, qint64 now);

    const QString path;
    const History::Clock clock;
    const Warning warning;
    const Pause renamePause;

    QMutex mutex;
    QWaitCondition wake;
    QWaitCondition written;
    QList<History::StatusSample> statuses;
    QList<History::ResourceSample> resources;
    quint64 queued = 0; // batches' worth of record() calls, for flush()
    quint64 done = 0;
    bool stopping = false;

    // The thread's own.
    bool open = false;
    bool stopped = false;
    qint64 retryAt = 0;

    // A QThread, so that Qt ends the thread's own data on the thread itself;
    // a std::thread it only adopts has that done later, on Windows by a
    // watcher thread. The SQL driver is loaded before it starts.
    std::unique_ptr<QThread> worker; // last: started once everything above is set
};

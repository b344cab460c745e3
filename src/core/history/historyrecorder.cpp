#include "historyrecorder.h"

#include "core/history/historyfile.h"
#include "core/history/historystore.h"

#include <QDir>

namespace {

// Busy time-outs in a row before the file counts as locked for good.
constexpr int busyTries = 3;
constexpr qint64 retryAfterSeconds = 3600;
constexpr unsigned long renameRetryMsec = 250;

void warnThroughQt(const QString &text)
{
    qWarning("%s", qUtf8Printable(text));
}

} // namespace

HistoryRecorder::HistoryRecorder(const QString &path, History::Clock clock, Warning warning, Pause renamePause)
    : path(path)
    , clock(std::move(clock))
    , warning(warning ? std::move(warning) : Warning(warnThroughQt))
    , renamePause(renamePause ? std::move(renamePause) : Pause([] { QThread::msleep(renameRetryMsec); }))
    , worker(QThread::create([this] { run(); }))
{
    HistoryStore::loadDriver();
    worker->start();
}

HistoryRecorder::~HistoryRecorder()
{
    {
        const QMutexLocker lock(&mutex);
        stopping = true;
    }
    wake.wakeOne();
    worker->wait();
}

void HistoryRecorder::record(const History::StatusSample &sample)
{
    {
        const QMutexLocker lock(&mutex);
        statuses.append(sample);
        ++queued;
    }
    wake.wakeOne();
}

void HistoryRecorder::record(const History::ResourceSample &sample)
{
    {
        const QMutexLocker lock(&mutex);
        resources.append(sample);
        ++queued;
    }
    wake.wakeOne();
}

void HistoryRecorder::flush()
{
    const QMutexLocker lock(&mutex);
    const quint64 wanted = queued;
    while (done < wanted)
        written.wait(&mutex);
}

void HistoryRecorder::run()
{
    HistoryStore store(path);
    QMutexLocker lock(&mutex);
    for (;;) {
        while (!stopping && statuses.isEmpty() && resources.isEmpty())
            wake.wait(&mutex);
        if (statuses.isEmpty() && resources.isEmpty())
            return;
        const QList<History::StatusSample> takenStatuses = std::exchange(statuses, {});
        const QList<History::ResourceSample> takenResources = std::exchange(resources, {});
        const quint64 taken = queued;
        lock.unlock();
        writeBatch(store, takenStatuses, takenResources);
        lock.relock();
        done = taken;
        written.wakeAll();
    }
}

void HistoryRecorder::writeBatch(HistoryStore &store, const QList<History::StatusSample> &statuses,
                                 const QList<History::ResourceSample> &resources)
{
    const qint64 now = clock();
    if (stopped && now < retryAt)
        return;
    for (int attempt = 0; attempt < busyTries + 1; ++attempt) {
        if (!ready(store, now))
            return;
        HistoryStore::Outcome outcome = store.write(statuses, resources);
        if (outcome == HistoryStore::Outcome::Ready) {
            stopped = false;
            outcome = store.foldIfDue(now);
            // A fold that must wait is done by the next batch.
            if (outcome == HistoryStore::Outcome::Ready || outcome == HistoryStore::Outcome::Busy)
                return;
        }
        if (outcome == HistoryStore::Outcome::Failed) {
            stopRecording(store.problem(), now);
            return;
        }
        // Damaged: opened anew (and put aside) on the next attempt; Busy: tried again.
        if (outcome == HistoryStore::Outcome::Damaged)
            open = false;
    }
    stopRecording(store.problem(), now);
}

// Opens the file if it is not open, putting a damaged one aside.
bool HistoryRecorder::ready(HistoryStore &store, qint64 now)
{
    for (int attempt = 0; !open && attempt < busyTries; ++attempt) {
        const HistoryStore::Outcome outcome = store.openForWriting();
        if (outcome == HistoryStore::Outcome::Ready) {
            open = true;
        } else if (outcome == HistoryStore::Outcome::Damaged) {
            const QString problem = store.problem();
            // The file is closed before it is renamed (Windows keeps open files).
            store.close();
            const QString aside = HistoryFile::putAside(path, now);
            if (aside.isEmpty() && attempt + 1 < busyTries) {
                // Windows renames no file that is open, and a reading may
                // have this one open for a moment.
                renamePause();
                continue;
            }
            if (aside.isEmpty()) {
                stopRecording(problem, now);
                return false;
            }
            warning(QStringLiteral("файл истории %1 повреждён (%2); он переименован в %3, начат новый")
                        .arg(QDir::toNativeSeparators(path), problem, QDir::toNativeSeparators(aside)));
        } else if (outcome == HistoryStore::Outcome::Failed) {
            stopRecording(store.problem(), now);
            return false;
        }
    }
    if (!open)
        stopRecording(store.problem(), now);
    return open;
}

void HistoryRecorder::stopRecording(const QString &problem, qint64 now)
{
    if (!stopped)
        warning(
            QStringLiteral("история не записывается (%1); запись остановлена, новая попытка через час").arg(problem));
    stopped = true;
    open = false;
    retryAt = now + retryAfterSeconds;
}

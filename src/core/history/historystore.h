#pragma once

#include "core/history/historysample.h"

#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QString>

// One connection to the history database, for the thread that made it (Qt
// SQL's connections are per thread). Every write is one transaction that
// takes the write lock at its start, and waits up to a busy time-out for
// another program's; with the database in WAL mode, readers never wait.
//
// The file holds server names (each once), status and resource samples of
// the last 14 days, and one row per server and hour for older ones, kept
// 400 days. A schema this program did not make counts as damage.
class HistoryStore
{
public:
    enum class Outcome {
        Ready,
        Missing, // reading: no file yet, which is an empty history
        Damaged, // not SQLite, cut short, or not made by this program
        Busy, // another program held the lock for the whole time-out
        Failed, // cannot be created or written: read-only, disk full, ...
    };

    static constexpr qint64 rawDays = 14;
    static constexpr qint64 hourlyDays = 400;

    // Loads Qt's SQLite driver, once per program. Call it on the main
    // thread before the history is used on another: finding the driver
    // leaves per-thread data (a regular expression's stack) on the thread
    // that finds it, which the MinGW runtime ends badly on a worker thread:
    // a crash as the thread ends, or a hang as the program ends.
    static void loadDriver();

    explicit HistoryStore(const QString &path, int busyTimeoutMsec = 5000);
    ~HistoryStore();
    HistoryStore(const HistoryStore &) = delete;
    HistoryStore &operator=(const HistoryStore &) = delete;

    // Opens the file, creating it and its tables when missing.
    Outcome openForWriting();
    // Opens an existing file and changes nothing in it.
    Outcome openForReading();
    void close() { db.close(); }
    // What went wrong last, in English, for a log line.
    QString problem() const { return lastProblem; }
    const QString &path() const { return file; }

    Outcome write(const QList<History::StatusSample> &statuses, const QList<History::ResourceSample> &resources);
    // Folds the samples older than 14 days into hourly rows and deletes
    // hourly rows older than 400 days, unless this was done in the hour
    // before `now` (by any program). Idempotent; one transaction.
    Outcome foldIfDue(qint64 now);

    QSqlDatabase database() const { return db; }

private:
    Outcome open(bool writing);
    Outcome check(bool writing);
    Outcome createSchema();
    Outcome failure(const class QSqlError &error);
    qint64 idOf(const QString &table, const QString &name);

    QString file;
    QString connection;
    QSqlDatabase db;
    int busyTimeoutMsec;
    QString lastProblem;
    QHash<QString, qint64> serverIds;
    QHash<QString, qint64> mapIds;
};

#pragma once

#include "core/history/historysample.h"

#include <QObject>
#include <QString>
#include <QThreadPool>

#include <functional>
#include <memory>

class HistoryRecorder;

// The window's way to the history file: samples go to the core's recorder,
// which writes them on its own thread, and readings run on one thread of
// this object's, so that a busy or large database never holds up the
// event loop. The recorder and its thread start with the first sample.
class HistoryAccess : public QObject
{
    Q_OBJECT

public:
    HistoryAccess(const QString &path, History::Clock clock, QObject *parent = nullptr);
    // Waits for a reading that runs, then writes what is queued.
    ~HistoryAccess() override;

    const QString &path() const { return file; }
    qint64 now() const { return clock(); }

    void record(const History::StatusSample &sample);
    void record(const History::ResourceSample &sample);

    // Runs `work` on the reading thread once every sample recorded so far is
    // written; `done` gets its result back on this object's thread.
    template<typename Result>
    void read(std::function<Result(const QString &path)> work, std::function<void(const Result &)> done)
    {
        loadDriver();
        HistoryRecorder *writer = recorder.get();
        // The destructor waits for the reading, so `this` outlives it.
        readers.start([this, writer, work, done] {
            waitForWrites(writer);
            const Result result = work(file);
            QMetaObject::invokeMethod(
                this, [done, result] { done(result); }, Qt::QueuedConnection);
        });
    }

    // What went wrong with the file last, in one Russian line; empty if nothing.
    QString problem() const { return lastProblem; }
    void setProblem(const QString &problem);

signals:
    void recorded(const QString &server);
    void problemChanged(const QString &problem);

private:
    HistoryRecorder &writer();
    static void waitForWrites(HistoryRecorder *writer);
    static void loadDriver();

    const QString file;
    const History::Clock clock;
    QString lastProblem;
    std::unique_ptr<HistoryRecorder> recorder;
    QThreadPool readers; // after the recorder: it is stopped first
};

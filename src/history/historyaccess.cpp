#include "historyaccess.h"

#include "core/history/historyrecorder.h"
#include "core/history/historystore.h"

HistoryAccess::HistoryAccess(const QString &path, History::Clock clock, QObject *parent)
    : QObject(parent)
    , file(path)
    , clock(std::move(clock))
{
    // One reading at a time: they would only wait on each other.
    readers.setMaxThreadCount(1);
}

HistoryAccess::~HistoryAccess()
{
    readers.waitForDone();
    recorder.reset();
}

void HistoryAccess::record(const History::StatusSample &sample)
{
    writer().record(sample);
    emit recorded(sample.server);
}

void HistoryAccess::record(const History::ResourceSample &sample)
{
    writer().record(sample);
    emit recorded(sample.server);
}

void HistoryAccess::setProblem(const QString &problem)
{
    if (problem == lastProblem)
        return;
    lastProblem = problem;
    emit problemChanged(problem);
}

HistoryRecorder &HistoryAccess::writer()
{
    if (!recorder) {
        // The recorder's warnings come from its thread; they are said on
        // Qt's warning output as usual and shown in the history window.
        // The recorder ends before this object does.
        recorder = std::make_unique<HistoryRecorder>(file, clock, [this](const QString &warning) {
            qWarning("%s", qUtf8Printable(warning));
            QMetaObject::invokeMethod(
                this, [this, warning] { setProblem(warning); }, Qt::QueuedConnection);
        });
    }
    return *recorder;
}

void HistoryAccess::waitForWrites(HistoryRecorder *writer)
{
    if (writer)
        writer->flush();
}

void HistoryAccess::loadDriver()
{
    // Here, on the GUI thread, rather than on the reading thread.
    HistoryStore::loadDriver();
}

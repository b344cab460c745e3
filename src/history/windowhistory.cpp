#include "windowhistory.h"

#include "app/mainwindow.h"
#include "core/history/historyfile.h"
#include "core/settings/settingslocation.h"
#include "history/historyaccess.h"
#include "history/queryrecorder.h"

WindowHistory::WindowHistory(MainWindow *window, QStatusBar *statusBar, QComboBox *selector, ServerList servers,
                             const ApiEndpoint &endpoint)
    : QObject(window)
    , access(new HistoryAccess(HistoryFile::besideSettings(SettingsLocation::filePath()), History::systemClock(), this))
{
    // The status bar, the selector, the list and the endpoint serve the history window.
    Q_UNUSED(statusBar)
    Q_UNUSED(selector)
    Q_UNUSED(servers)
    Q_UNUSED(endpoint)
    auto *queries = new QueryRecorder(access, this);
    connect(window, &MainWindow::querySent, queries, &QueryRecorder::sent);
    connect(window, &MainWindow::queryFinished, queries, &QueryRecorder::finished);
}

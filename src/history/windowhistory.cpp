#include "windowhistory.h"

#include "app/afterfirstpaint.h"
#include "app/mainwindow.h"
#include "core/history/historyfile.h"
#include "core/settings/settingslocation.h"
#include "history/allserverspoller.h"
#include "history/historyaccess.h"
#include "history/historywindow.h"
#include "history/queryrecorder.h"
#include "history/recordalloption.h"

#include <QComboBox>
#include <QIcon>
#include <QStatusBar>
#include <QToolButton>

WindowHistory::WindowHistory(MainWindow *window, QStatusBar *statusBar, QComboBox *selector, ServerList servers,
                             const ApiEndpoint &endpoint)
    : QObject(window)
    , window(window)
    , selector(selector)
    , servers(std::move(servers))
    , access(new HistoryAccess(HistoryFile::besideSettings(SettingsLocation::filePath()), History::systemClock(), this))
    , poller(new AllServersPoller(
          access, this->servers, [selector] { return selector->currentText(); }, endpoint, 60000, this))
{
    auto *queries = new QueryRecorder(access, this);
    connect(window, &MainWindow::querySent, queries, &QueryRecorder::sent);
    connect(window, &MainWindow::queryFinished, queries, &QueryRecorder::finished);

    auto *button = new QToolButton(statusBar);
    button->setObjectName(QStringLiteral("historyButton"));
    button->setText(tr("История"));
    button->setToolTip(tr("История серверов"));
    button->setIcon(QIcon(QStringLiteral(":/history.png")));
    button->setIconSize(QSize(16, 16));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    // The status bar keeps its height, so that the form's widgets above it
    // keep their room.
    const int height = statusBar->sizeHint().height();
    button->setMaximumHeight(height);
    statusBar->addPermanentWidget(button);
    statusBar->setFixedHeight(height);
    connect(button, &QToolButton::clicked, this, &WindowHistory::openWindow);

    // The choice is read off the GUI thread, and only once the window is on
    // screen: the first read of the file loads the SQLite driver, which
    // would compete with the first paint. Until then nothing more is asked.
    new AfterFirstPaint(
        window, [this] { access->read<bool>(RecordAllOption::load, [this](const bool &on) { setRecordAll(on); }); });
}

void WindowHistory::openWindow()
{
    if (!historyWindow) {
        historyWindow = new HistoryWindow(
            access, [this] { return servers().keys(); }, window);
        historyWindow->setRecordAll(recordAll);
        connect(historyWindow, &HistoryWindow::recordAllToggled, this, [this](bool on) {
            setRecordAll(on);
            access->read<bool>([on](const QString &path) { return RecordAllOption::save(path, on); },
                               [](const bool &) {});
        });
    }
    historyWindow->showFor(selector->currentText());
}

void WindowHistory::setRecordAll(bool on)
{
    recordAll = on;
    poller->setActive(on);
    if (historyWindow)
        historyWindow->setRecordAll(on);
}

#pragma once

#include "core/api/apiendpoint.h"

#include <QMap>
#include <QObject>
#include <QString>

#include <functional>

class MainWindow;
class QComboBox;
class QStatusBar;
class QToolButton;
class AllServersPoller;
class HistoryAccess;
class HistoryWindow;

// The history's part of the main window, attached to it from outside: it
// records the selected server's replies as they come, puts the button
// "История" at the right end of the status bar, opens the history window
// from it, and asks for the other servers' status when the history window's
// choice says so.
class WindowHistory : public QObject
{
    Q_OBJECT

public:
    // The stored servers, name to key, in the window's order.
    using ServerList = std::function<QMap<QString, QString>()>;

    WindowHistory(MainWindow *window, QStatusBar *statusBar, QComboBox *selector, ServerList servers,
                  const ApiEndpoint &endpoint);

private:
    void openWindow();
    void setRecordAll(bool on);

    MainWindow *window;
    QComboBox *selector;
    ServerList servers;
    HistoryAccess *access;
    AllServersPoller *poller;
    HistoryWindow *historyWindow = nullptr; // made at the first click
    bool recordAll = false;
};

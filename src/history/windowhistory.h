#pragma once

#include "core/api/apiendpoint.h"

#include <QMap>
#include <QObject>
#include <QString>

#include <functional>

class MainWindow;
class QComboBox;
class QStatusBar;
class HistoryAccess;

// The history's part of the main window, attached to it from outside: it
// records the selected server's replies as they come.
class WindowHistory : public QObject
{
    Q_OBJECT

public:
    // The stored servers, name to key, in the window's order.
    using ServerList = std::function<QMap<QString, QString>()>;

    WindowHistory(MainWindow *window, QStatusBar *statusBar, QComboBox *selector, ServerList servers,
                  const ApiEndpoint &endpoint);

private:
    HistoryAccess *access;
};

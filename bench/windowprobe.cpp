// The program's probe: its full main window, built from the setting.ini in
// the folder given with --settings.

#include "app/mainwindow.h"
#include "core/api/queuedhttp.h"
#include "core/settings/settingslocation.h"
#include "probe.h"

#include <QApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>

int main(int argc, char *argv[])
{
    QElapsedTimer sinceMain;
    sinceMain.start();
    QApplication app(argc, argv);
    const ProbeRequest request = ProbeRequest::fromArguments(QApplication::arguments());
    SettingsLocation::setDirectory(request.settingsDirectory);

    MainWindow window;
    QueuedHttp *http = window.findChild<QueuedHttp *>();
    int finishedOperations = 0;
    QObject::connect(http, &QueuedHttp::requestFinished, &window, [&] { ++finishedOperations; });
    // Completed TLS handshakes: a reused connection adds none.
    int handshakes = 0;
    QObject::connect(http->findChild<QNetworkAccessManager *>(), &QNetworkAccessManager::encrypted, &window,
                     [&] { ++handshakes; });

    int operationsAtRest = 0;
    int handshakesAtRest = 0;

    ProbeHooks hooks;
    // The window asks for a full update as it is built; it has settled once
    // those replies are in.
    hooks.settle = [&](const std::function<void()> &settled) {
        auto atRest = [&, settled] {
            operationsAtRest = finishedOperations;
            handshakesAtRest = handshakes;
            settled();
        };
        if (http->currentId() == 0 && !http->hasPendingRequests()) {
            atRest();
            return;
        }
        auto *connection = new QMetaObject::Connection;
        *connection = QObject::connect(http, &QueuedHttp::requestFinished, http, [=] {
            if (http->hasPendingRequests())
                return;
            QObject::disconnect(*connection);
            delete connection;
            atRest();
        });
    };
    hooks.idleReport = [&] {
        // Each query is three operations: TLS settings, host, GET.
        return QStringLiteral("queries=%1 handshakes=%2")
            .arg((finishedOperations - operationsAtRest) / 3)
            .arg(handshakes - handshakesAtRest);
    };
    return runProbe(window, request, sinceMain, hooks);
}

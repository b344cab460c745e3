#pragma once

#include "core/api/apiendpoint.h"
#include "core/api/servicereply.h"
#include "core/settings/serversync.h"

#include <QMainWindow>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QVariantMap>

class QSslSocket;
class QTimer;
class QueuedHttp;
class Dialog;
class About;

namespace Ui {
class MainWindow;
}

// The one window of the program: the server list, the selected server's
// state and the controls that act on it. Every action is a slot; replies of
// the hosting API come back through httpRequestFinished().
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Shows the body of a finished query of the given kind: raw in the
    // debug pane, and through the kind's display if it has one.
    void handleReply(const QString &kind, const QByteArray &body);

signals:
    // For the history, which keeps what the replies said: a query queued for
    // `server`, and how it ended.
    void querySent(int id, const QString &server, const QString &kind);
    void queryFinished(int id, const HttpExchange &exchange);

public slots:
    void reloadComboBox();
    void readSettings();
    void saveSettings();
    void getStatus();
    void getStart();
    void getStop();
    void getRestart();
    void getChangeMap();
    void getMaps();
    void getCmd();
    void getRes();
    void fullUpdate();
    void addServer(QString name, QString token);
    QStringList getStatusName(int id);
    void setCurrentMap();

private slots:
    void httpRequestFinished(int requestId, bool error);
    void deleteServer();
    void clickTray(QSystemTrayIcon::ActivationReason r);

private:
    void createTrayIcon();
    // Reads the extra certificates, makes `sslSocket` with the API's TLS
    // settings and lets the queued queries go.
    void setUpTls();
    void refreshOnTick();
    // Queues a query of the given kind for the selected server, with one
    // parameter when `parameter` is named; returns its id, 0 when none is selected.
    int sendQuery(const QString &kind, const QString &parameter = QString(), const QString &value = QString());
    QString getMacAddress();
    void showStatus(const QVariantMap &reply);
    void showMaps(const QVariantMap &reply);
    void showRes(const QVariantMap &reply);

    void warnUser(const QString &title, const QString &text);
    // Refills the server selector from `servers` after another program
    // changed the file, keeping the selection where that server is still
    // listed; a full update follows only when the selected server changed.
    void showServerList(const QString &selected, const QString &selectedKey);
    // Takes in what other programs changed in the settings file.
    void takeInSettingsChanges();

    Ui::MainWindow *ui;
    QueuedHttp *http;
    QSslSocket *sslSocket;
    QMap<QString, QString> servers;
    QMap<int, QString> requestQueries;
    Dialog *dialog;
    QTimer *updateTimer;
    QSystemTrayIcon *trayIcon;
    About *about;
    QString currentMap;

    // Where the API lives and which extra certificates to trust; read from
    // the [Main] group at start, never written back.
    ApiEndpoint apiEndpoint;
    // What the settings file held at the last look, and what this window
    // changed since; other programs write the same file.
    ServerSync serverSync;
    // The latest full update: the server it was for and the id of its last
    // query. A timer tick adds no refresh while that query waits or runs.
    QString refreshedServer;
    int lastRefreshQueryId = 0;
};

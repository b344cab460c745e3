#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QQueue>
#include <QSslConfiguration>
#include <QString>
#include <QTimer>

#include <optional>

class QNetworkAccessManager;

// A small HTTP(S) client that runs queued operations strictly one after
// another. Every operation (choosing the TLS settings, choosing the host,
// a GET) gets an id of its own and ends with exactly one requestFinished(),
// always delivered through the event loop.
//
// The error flag of requestFinished() means a transport failure only
// (connection, name lookup, TLS, protocol, time-out, cancellation). A reply
// with an HTTP status of 4xx or 5xx is not an error: its body is handed on.
class QueuedHttp : public QObject
{
    Q_OBJECT

public:
    enum ConnectionMode { ConnectionModeHttp = 0, ConnectionModeHttps = 1 };
    Q_ENUM(ConnectionMode)

    explicit QueuedHttp(QObject *parent = nullptr);
    ~QueuedHttp() override;

    // Later GETs use `configuration`, as it is when queued. Before the first
    // of these operations, Qt's default settings apply.
    int setSslConfiguration(const QSslConfiguration &configuration);
    // Port 0 means the mode's default port (80 or 443).
    int setHost(const QString &hostName, ConnectionMode mode = ConnectionModeHttp, quint16 port = 0);
    // GET of an already percent-encoded path with optional query, sent as
    // given. A GET queued before any setHost() ends with the error flag set.
    int get(const QByteArray &path);

    // The whole body of the GET whose requestFinished() is being handled;
    // empty at any other time and after a transport failure.
    QByteArray readAll() const;
    // The HTTP status of that GET; 0 at any other time and when no reply came.
    int statusCode() const;
    // Why that GET ended with the error flag: QNetworkReply's error, with
    // TimeoutError when the transfer time-out ran out, and a description in
    // English. NoError and empty at any other time.
    QNetworkReply::NetworkError error() const;
    QString errorString() const;

    // True while operations wait behind the one that is running.
    bool hasPendingRequests() const;
    // Id of the operation that is running, 0 when idle.
    int currentId() const;

    // Longest time one GET may take from start to end, default 30000 ms;
    // 0 means no limit. Applies to GETs that start afterwards, including one
    // whose requestStarted() is being handled.
    void setTransferTimeout(int msec);
    int transferTimeout() const;

signals:
    void requestStarted(int id);
    void requestFinished(int id, bool error);

private:
    struct Operation
    {
        enum Kind { SetSslConfiguration, SetHost, Get };
        Kind kind = Get;
        int id = 0;
        // Only set for its own kind: an empty QSslConfiguration is not free.
        std::optional<QSslConfiguration> sslConfiguration;
        QString hostName;
        ConnectionMode mode = ConnectionModeHttp;
        quint16 port = 0;
        QByteArray path;
    };

    int enqueue(Operation operation);
    void scheduleNext();
    void startNext();
    void applySslConfiguration(const Operation &operation);
    void applyHost(const Operation &operation);
    void startGet(const Operation &operation);
    void onReplyFinished();
    void onDeadline();
    // What a GET ended with, kept while its requestFinished() is handled.
    struct Finished
    {
        QByteArray body;
        int statusCode = 0;
        QNetworkReply::NetworkError error = QNetworkReply::NoError;
        QString errorString;
    };

    void finishCurrent(bool error, const Finished &finished);
    void dropReply();

    QNetworkAccessManager *m_manager;
    QQueue<Operation> m_pending;
    int m_lastId = 0;
    int m_currentId = 0;
    bool m_nextScheduled = false;

    QSslConfiguration m_sslConfiguration;
    QString m_hostName;
    ConnectionMode m_mode = ConnectionModeHttp;
    quint16 m_port = 0;
    bool m_hostSet = false;

    QNetworkReply *m_reply = nullptr;
    QTimer m_deadline;
    int m_transferTimeout = 30000;
    bool m_timedOut = false;
    Finished m_finished;
};

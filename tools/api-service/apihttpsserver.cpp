#include "apihttpsserver.h"

#include <QDateTime>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QSslCertificate>
#include <QSslKey>

#include <cstdio>

namespace {

constexpr qsizetype MaxLoggedKindLength = 32;

// Query kinds come from the client; keep odd ones from garbling the log.
QString loggableKind(const QString &kind)
{
    if (kind.isEmpty())
        return QStringLiteral("-");
    if (HostingApi::queryKinds().contains(kind))
        return kind;
    QString shown = kind.left(MaxLoggedKindLength);
    for (QChar &c : shown) {
        if (!c.isPrint() || c.isSpace())
            c = QLatin1Char('?');
    }
    return QLatin1Char('"') + shown + QLatin1Char('"');
}

void writeToStandardError(const QString &line)
{
    std::fprintf(stderr, "%s\n", line.toUtf8().constData());
    std::fflush(stderr);
}

} // namespace

ApiHttpsServer::ApiHttpsServer(HostingApi &api, QObject *parent)
    : QAbstractHttpServer(parent)
    , m_router(api)
    , m_logSink(writeToStandardError)
{ }

quint16 ApiHttpsServer::listenOnLoopback(const QSslCertificate &certificate, const QSslKey &key, quint16 port)
{
    sslSetup(certificate, key);
    return listen(QHostAddress::LocalHost, port);
}

void ApiHttpsServer::setLogSink(std::function<void(const QString &)> sink)
{
    m_logSink = std::move(sink);
}

QString ApiHttpsServer::logLine(const QDateTime &time, const ApiReply &reply)
{
    return QStringLiteral("%1 %2 %3 %4")
        .arg(time.toString(Qt::ISODateWithMs), loggableKind(reply.queryKind))
        .arg(reply.httpStatus)
        .arg(reply.serverName.isEmpty() ? QStringLiteral("-") : reply.serverName);
}

bool ApiHttpsServer::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    const QUrl url = request.url();
    const ApiReply reply = m_router.answer(request.method() == QHttpServerRequest::Method::Get, url.path(),
                                           url.query(QUrl::FullyEncoded).toLatin1());

    makeResponder(request, socket)
        .write(QJsonDocument(reply.body).toJson(QJsonDocument::Compact), {{"Content-Type", "application/json"}},
               static_cast<QHttpServerResponder::StatusCode>(reply.httpStatus));
    if (m_logSink)
        m_logSink(logLine(QDateTime::currentDateTime(), reply));
    return true;
}

void ApiHttpsServer::missingHandler(const QHttpServerRequest &request, QTcpSocket *socket)
{
    // Not reached: handleRequest() answers every request.
    makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
}

#include "tlstestserver.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

QByteArray headerValue(const QList<QByteArray> &headerLines, const QByteArray &name)
{
    for (const QByteArray &line : headerLines) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return QByteArray();
}

} // namespace

TlsTestServer::TlsTestServer(QObject *parent)
    : QObject(parent)
    , m_server(new QSslServer(this))
    , m_handler([](const QByteArray &target) {
        TlsTestReply reply;
        reply.body = target;
        return reply;
    })
{
    connect(m_server, &QSslServer::startedEncryptionHandshake, this, [this] { ++m_connections; });
    connect(m_server, &QTcpServer::pendingConnectionAvailable, this, &TlsTestServer::acceptConnections);
}

TlsTestServer::~TlsTestServer() = default;

bool TlsTestServer::start(const QString &certificatePath, const QString &keyPath, const QHostAddress &address)
{
    QFile certificateFile(certificatePath);
    QFile keyFile(keyPath);
    if (!certificateFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly))
        return false;
    const QSslCertificate certificate(&certificateFile, QSsl::Pem);
    const QSslKey key(&keyFile, QSsl::Rsa, QSsl::Pem);
    if (certificate.isNull() || key.isNull())
        return false;

    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(certificate);
    configuration.setPrivateKey(key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    m_server->setSslConfiguration(configuration);
    return m_server->listen(address, 0);
}

quint16 TlsTestServer::port() const
{
    return m_server->serverPort();
}

void TlsTestServer::setHandler(Handler handler)
{
    m_handler = std::move(handler);
}

QList<QByteArray> TlsTestServer::requestLines() const
{
    return m_requestLines;
}

QList<QByteArray> TlsTestServer::targets() const
{
    QList<QByteArray> result;
    for (const QByteArray &line : m_requestLines) {
        const QList<QByteArray> parts = line.split(' ');
        result.append(parts.value(1));
    }
    return result;
}

QList<QByteArray> TlsTestServer::bodies() const
{
    return m_bodies;
}

QList<QByteArray> TlsTestServer::contentTypes() const
{
    return m_contentTypes;
}

int TlsTestServer::connectionCount() const
{
    return m_connections;
}

int TlsTestServer::handshakeCount() const
{
    return m_handshakes;
}

// QSslServer hands a connection over once its handshake has completed.
void TlsTestServer::acceptConnections()
{
    while (m_server->hasPendingConnections()) {
        auto *socket = qobject_cast<QSslSocket *>(m_server->nextPendingConnection());
        if (!socket)
            continue;
        ++m_handshakes;
        connect(socket, &QSslSocket::readyRead, this, [this, socket] { serve(socket); });
        connect(socket, &QSslSocket::disconnected, this, [this, socket] {
            m_buffers.remove(socket);
            m_silenced.removeAll(socket);
            socket->deleteLater();
        });
        serve(socket);
    }
}

void TlsTestServer::serve(QSslSocket *socket)
{
    if (m_silenced.contains(socket)) {
        socket->readAll();
        return;
    }
    QByteArray &buffer = m_buffers[socket];
    buffer += socket->readAll();

    for (;;) {
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        const QList<QByteArray> headerLines = lines.mid(1);
        const qsizetype bodyLength = headerValue(headerLines, "Content-Length").toLongLong();
        if (buffer.size() < headerEnd + 4 + bodyLength)
            return;
        m_bodies.append(buffer.mid(headerEnd + 4, bodyLength));
        m_contentTypes.append(headerValue(headerLines, "Content-Type"));
        buffer.remove(0, headerEnd + 4 + bodyLength);

        const QByteArray requestLine = lines.value(0).trimmed();
        m_requestLines.append(requestLine);
        const QByteArray target = requestLine.split(' ').value(1);
        emit requestReceived(target);

        const TlsTestReply reply = m_handler(target);
        if (reply.silent) {
            m_silenced.append(socket);
            buffer.clear();
            return;
        }
        const bool close = headerValue(headerLines, "Connection").compare("close", Qt::CaseInsensitive) == 0;
        QByteArray response
            = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
        response += "Content-Type: application/json\r\n";
        for (const auto &header : reply.headers)
            response += header.first + ": " + header.second + "\r\n";
        response += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
        response += close ? "Connection: close\r\n\r\n" : "Connection: keep-alive\r\n\r\n";
        response += reply.body;
        socket->write(response);
        if (close) {
            socket->disconnectFromHost();
            return;
        }
    }
}

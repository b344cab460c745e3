#include "queuedhttp.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QUrl>

namespace {

// Raw spaces, control characters and non-ASCII bytes cannot stand in a
// request line; everything else, percent escapes included, is kept as is.
QByteArray escapeUnsafeBytes(const QByteArray &text)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F) {
            escaped += '%';
            escaped += hex[byte >> 4];
            escaped += hex[byte & 0x0F];
        } else {
            escaped += c;
        }
    }
    return escaped;
}

QUrl requestUrl(const QString &hostName, QueuedHttp::ConnectionMode mode, quint16 port, const QByteArray &path)
{
    const bool https = mode == QueuedHttp::ConnectionModeHttps;
    QUrl url;
    url.setScheme(https ? QStringLiteral("https") : QStringLiteral("http"));
    url.setHost(hostName);
    if (port != 0)
        url.setPort(port); // otherwise the scheme's own: 80 or 443

    // Tolerant mode keeps the caller's escapes of reserved and non-ASCII
    // bytes as written (it would only decode escaped unreserved characters,
    // upper-case lower-case hex digits and resolve "." and ".." segments).
    const QByteArray target = escapeUnsafeBytes(path);
    const qsizetype queryStart = target.indexOf('?');
    QByteArray pathPart = queryStart < 0 ? target : target.left(queryStart);
    if (!pathPart.startsWith('/'))
        pathPart.prepend('/');
    url.setPath(QString::fromLatin1(pathPart), QUrl::TolerantMode);
    if (queryStart >= 0)
        url.setQuery(QString::fromLatin1(target.mid(queryStart + 1)), QUrl::TolerantMode);
    return url;
}

// QNetworkReply reports HTTP statuses 4xx and 5xx as content and server
// errors; for this client they are ordinary replies.
bool isTransportFailure(const QNetworkReply *reply)
{
    const QNetworkReply::NetworkError error = reply->error();
    if (error == QNetworkReply::NoError)
        return false;
    const bool gotHttpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    const bool contentError = error >= QNetworkReply::ContentAccessDenied && error <= QNetworkReply::UnknownContentError
        && error != QNetworkReply::ContentReSendError;
    const bool serverError = error >= QNetworkReply::InternalServerError && error <= QNetworkReply::UnknownServerError;
    return !(gotHttpStatus && (contentError || serverError));
}

} // namespace

QueuedHttp::QueuedHttp(QObject *parent)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager(this))
    , m_sslConfiguration(QSslConfiguration::defaultConfiguration())
{
    // Redirects are replies like any other, handed to the caller unfollowed.
    m_manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &QueuedHttp::onDeadline);
}

QueuedHttp::~QueuedHttp()
{
    m_pending.clear();
    dropReply();
}

int QueuedHttp::setSslConfiguration(const QSslConfiguration &configuration)
{
    Operation operation;
    operation.kind = Operation::SetSslConfiguration;
    operation.sslConfiguration = configuration;
    return enqueue(operation);
}

int QueuedHttp::setHost(const QString &hostName, ConnectionMode mode, quint16 port)
{
    Operation operation;
    operation.kind = Operation::SetHost;
    operation.hostName = hostName;
    operation.mode = mode;
    operation.port = port;
    return enqueue(operation);
}

int QueuedHttp::get(const QByteArray &path)
{
    Operation operation;
    operation.kind = Operation::Get;
    operation.path = path;
    return enqueue(operation);
}

QByteArray QueuedHttp::readAll() const
{
    return m_finished.body;
}

int QueuedHttp::statusCode() const
{
    return m_finished.statusCode;
}

QNetworkReply::NetworkError QueuedHttp::error() const
{
    return m_finished.error;
}

QString QueuedHttp::errorString() const
{
    return m_finished.errorString;
}

bool QueuedHttp::hasPendingRequests() const
{
    return !m_pending.isEmpty();
}

int QueuedHttp::currentId() const
{
    return m_currentId;
}

void QueuedHttp::setTransferTimeout(int msec)
{
    m_transferTimeout = qMax(0, msec);
}

int QueuedHttp::transferTimeout() const
{
    return m_transferTimeout;
}

int QueuedHttp::enqueue(Operation operation)
{
    operation.id = ++m_lastId;
    m_pending.enqueue(operation);
    scheduleNext();
    return operation.id;
}

// Each operation starts from its own event loop turn, so no signal is ever
// emitted from inside a queuing call.
void QueuedHttp::scheduleNext()
{
    if (m_nextScheduled || m_currentId != 0 || m_pending.isEmpty())
        return;
    m_nextScheduled = true;
    QMetaObject::invokeMethod(this, &QueuedHttp::startNext, Qt::QueuedConnection);
}

void QueuedHttp::startNext()
{
    m_nextScheduled = false;
    if (m_currentId != 0 || m_pending.isEmpty())
        return;

    const Operation operation = m_pending.dequeue();
    m_currentId = operation.id;

    const QPointer<QueuedHttp> alive(this);
    emit requestStarted(operation.id);
    if (!alive)
        return;

    switch (operation.kind) {
    case Operation::SetSslConfiguration:
        applySslConfiguration(operation);
        finishCurrent(false, Finished());
        break;
    case Operation::SetHost:
        applyHost(operation);
        finishCurrent(false, Finished());
        break;
    case Operation::Get:
        startGet(operation);
        break;
    }
}

void QueuedHttp::applySslConfiguration(const Operation &operation)
{
    const QSslConfiguration &configuration = *operation.sslConfiguration;
    // Open connections were made under the old settings and must not be reused.
    if (configuration != m_sslConfiguration)
        m_manager->clearConnectionCache();
    m_sslConfiguration = configuration;
}

void QueuedHttp::applyHost(const Operation &operation)
{
    m_hostName = operation.hostName;
    m_mode = operation.mode;
    m_port = operation.port;
    m_hostSet = true;
}

void QueuedHttp::startGet(const Operation &operation)
{
    if (!m_hostSet) {
        Finished failed;
        failed.error = QNetworkReply::ProtocolUnknownError;
        failed.errorString = QStringLiteral("No host set");
        finishCurrent(true, failed);
        return;
    }

    QNetworkRequest request(requestUrl(m_hostName, m_mode, m_port, operation.path));
    if (m_mode == ConnectionModeHttps)
        request.setSslConfiguration(m_sslConfiguration);
    // Plain HTTP/1.1 with keep-alive, and no cookies kept between requests.
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);

    m_timedOut = false;
    m_reply = m_manager->get(request);
    connect(m_reply, &QNetworkReply::finished, this, &QueuedHttp::onReplyFinished);
    if (m_transferTimeout > 0)
        m_deadline.start(m_transferTimeout);
}

void QueuedHttp::onReplyFinished()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply || reply != m_reply)
        return;
    m_deadline.stop();
    m_reply = nullptr;
    reply->deleteLater();

    const bool error = isTransportFailure(reply);
    Finished finished;
    finished.statusCode = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (error && m_timedOut) {
        finished.error = QNetworkReply::TimeoutError;
        finished.errorString = QStringLiteral("No reply within %1 ms").arg(m_transferTimeout);
    } else if (error) {
        finished.error = reply->error();
        finished.errorString = reply->errorString();
    } else {
        finished.body = reply->readAll();
    }
    // Announce from a fresh event loop turn rather than from inside the
    // reply's own signal, so a handler may even delete this client.
    QMetaObject::invokeMethod(
        this, [this, error, finished] { finishCurrent(error, finished); }, Qt::QueuedConnection);
}

void QueuedHttp::onDeadline()
{
    // Aborting makes the reply finish with OperationCanceledError.
    if (m_reply) {
        m_timedOut = true;
        m_reply->abort();
    }
}

void QueuedHttp::finishCurrent(bool error, const Finished &finished)
{
    const int id = m_currentId;
    m_finished = finished;

    const QPointer<QueuedHttp> alive(this);
    emit requestFinished(id, error);
    if (!alive)
        return;

    m_finished = Finished();
    m_currentId = 0;
    scheduleNext();
}

void QueuedHttp::dropReply()
{
    m_deadline.stop();
    if (!m_reply)
        return;
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    disconnect(reply, nullptr, this, nullptr);
    reply->abort();
    delete reply;
}

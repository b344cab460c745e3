// Network: the window's full update (status, resources, maps) against the
// stand-in service over loopback TLS, beside a bare client making the same
// three requests. TLS handshakes are counted on the client side from the
// network access manager's "encrypted" signal, which fires once per completed
// handshake; a TCP relay in front of the service checks that count.

#include "app/mainwindow.h"
#include "benches.h"
#include "benchsettings.h"
#include "core/api/queuedhttp.h"
#include "core/settings/settingslocation.h"
#include "demoservers.h"
#include "patience.h"
#include "resulttable.h"
#include "serviceprocess.h"
#include "tcprelay.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>
#include <QUrl>

#include <memory>

namespace {

constexpr int reusedUpdates = 10;
constexpr int newConnectionUpdates = 5;

const QString serverName = QString::fromUtf8(DemoServers::NorthFort.name);
const QString serverKey = QString::fromLatin1(DemoServers::NorthFort.apiKey);
const QStringList updateKinds = {QStringLiteral("status"), QStringLiteral("getresources"), QStringLiteral("getmaps")};

struct UpdateFigures
{
    double firstMs = 0; // the very first update, cold
    QVector<double> reusedMs; // updates on the open connection
    QVector<double> newMs; // updates after dropping it on purpose
    int firstHandshakes = 0;
    int reusedHandshakes = 0;
    int newHandshakes = 0;
    int failures = 0;
    bool ok = false;

    int handshakes() const { return firstHandshakes + reusedHandshakes + newHandshakes; }
};

// The program's window pointed at `host`, with one server selected.
class WindowClient
{
public:
    WindowClient(const QString &directory, const QString &host, const QString &certificate)
    {
        BenchSettings settings;
        settings.host = host;
        settings.caCertificate = certificate;
        settings.servers = {{serverName, serverKey}};
        m_problem = settings.writeTo(directory);
        SettingsLocation::setDirectory(directory);
        m_window = std::make_unique<MainWindow>(); // asks for the first full update
        m_http = m_window->findChild<QueuedHttp *>();
        m_manager = m_http->findChild<QNetworkAccessManager *>();
        QObject::connect(m_manager, &QNetworkAccessManager::encrypted, m_manager, [this] { ++m_handshakes; });
        QObject::connect(m_http, &QueuedHttp::requestFinished, m_http,
                         [this](int, bool error) { m_failures += error ? 1 : 0; });
    }

    ~WindowClient()
    {
        m_window.reset();
        SettingsLocation::setDirectory(QString());
    }

    QString problem() const { return m_problem; }
    int handshakes() const { return m_handshakes; }
    int failures() const { return m_failures; }
    QString shownName() const { return m_window->findChild<QLabel *>(QStringLiteral("label"))->text(); }

    void startUpdate() { QMetaObject::invokeMethod(m_window.get(), "fullUpdate"); }
    void dropConnections() { m_manager->clearConnectionCache(); }

    // Waits until every queued query has been answered and shown.
    bool waitUntilIdle()
    {
        if (m_http->currentId() == 0 && !m_http->hasPendingRequests())
            return true;
        QEventLoop loop;
        QTimer::singleShot(patienceMs, &loop, [&] { loop.exit(1); });
        QObject::connect(m_http, &QueuedHttp::requestFinished, &loop, [&] {
            if (!m_http->hasPendingRequests())
                loop.exit(0);
        });
        return loop.exec() == 0;
    }

private:
    QString m_problem;
    std::unique_ptr<MainWindow> m_window;
    QueuedHttp *m_http = nullptr;
    QNetworkAccessManager *m_manager = nullptr;
    int m_handshakes = 0;
    int m_failures = 0;
};

// The same three requests made directly, one after another, on one manager.
class BareClient
{
public:
    BareClient(quint16 port, const QString &certificate)
        : m_port(port)
    {
        m_tls = QSslConfiguration::defaultConfiguration();
        m_tls.setCaCertificates(QSslConfiguration::systemCaCertificates()
                                + QSslCertificate::fromPath(certificate, QSsl::Pem));
        QObject::connect(&m_manager, &QNetworkAccessManager::encrypted, &m_manager, [this] { ++m_handshakes; });
    }

    int handshakes() const { return m_handshakes; }
    void dropConnections() { m_manager.clearConnectionCache(); }

    // Returns false when a request failed.
    bool update()
    {
        bool ok = true;
        for (const QString &kind : updateKinds) {
            QUrl url;
            url.setScheme(QStringLiteral("https"));
            url.setHost(QStringLiteral("127.0.0.1"));
            url.setPort(m_port);
            url.setPath(QStringLiteral("/api.php"));
            url.setQuery(QStringLiteral("token=") + QString::fromLatin1(QUrl::toPercentEncoding(serverKey))
                         + QStringLiteral("&query=") + kind);
            QNetworkRequest request(url);
            request.setSslConfiguration(m_tls);
            request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
            QNetworkReply *reply = m_manager.get(request);
            QEventLoop loop;
            QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
            loop.exec();
            ok = ok && reply->error() == QNetworkReply::NoError && !reply->readAll().isEmpty();
            reply->deleteLater();
        }
        return ok;
    }

private:
    quint16 m_port;
    QSslConfiguration m_tls;
    QNetworkAccessManager m_manager;
    int m_handshakes = 0;
};

// The first update, then `reused` updates on the connection it opened, then
// `fresh` updates each after dropping the cached connection.
template<typename Client, typename Start, typename Wait>
UpdateFigures measureUpdates(Client &client, int reused, int fresh, Start start, Wait wait)
{
    UpdateFigures figures;
    QElapsedTimer timer;
    auto update = [&](QVector<double> &times) {
        timer.start();
        start();
        if (!wait())
            return false;
        times << double(timer.nsecsElapsed()) / 1e6;
        return true;
    };

    QVector<double> first;
    if (!update(first))
        return figures;
    figures.firstMs = first.constFirst();
    figures.firstHandshakes = client.handshakes();

    for (int i = 0; i < reused; ++i) {
        if (!update(figures.reusedMs))
            return figures;
    }
    figures.reusedHandshakes = client.handshakes() - figures.firstHandshakes;

    const int before = client.handshakes();
    for (int i = 0; i < fresh; ++i) {
        client.dropConnections();
        if (!update(figures.newMs))
            return figures;
    }
    figures.newHandshakes = client.handshakes() - before;
    figures.ok = true;
    return figures;
}

UpdateFigures measureWindow(WindowClient &window, int reused, int fresh)
{
    // The window queued its first update while it was being built; the clock
    // starts when it is built and the event loop may send.
    bool first = true;
    auto start = [&] {
        if (!first)
            window.startUpdate();
        first = false;
    };
    UpdateFigures figures = measureUpdates(window, reused, fresh, start, [&] { return window.waitUntilIdle(); });
    figures.failures = window.failures();
    return figures;
}

} // namespace

void runNetworkBench(const BenchContext &context, const ServiceProcess &service, ResultTable &table)
{
    const QDir work(context.workDirectory);
    work.mkpath(QStringLiteral("network"));
    work.mkpath(QStringLiteral("network-relay"));

    UpdateFigures ours;
    QString shownName;
    {
        WindowClient window(work.filePath(QStringLiteral("network")), service.host(), service.certificatePath());
        if (!window.problem().isEmpty()) {
            table.addNote(QStringLiteral("network skipped: ") + window.problem());
            return;
        }
        ours = measureWindow(window, reusedUpdates, newConnectionUpdates);
        shownName = window.shownName();
    }

    BareClient bare(service.port(), service.certificatePath());
    bool bareOk = true;
    const UpdateFigures theirs = measureUpdates(
        bare, reusedUpdates, newConnectionUpdates, [] {},
        [&] {
            bareOk = bare.update() && bareOk;
            return true;
        });

    // The same through the relay, to check the handshake count against the
    // TCP connections actually opened.
    TcpRelay relay(service.port());
    relay.listen();
    UpdateFigures relayed;
    int relayConnections = 0;
    {
        WindowClient window(work.filePath(QStringLiteral("network-relay")),
                            QStringLiteral("127.0.0.1:%1").arg(relay.port()), service.certificatePath());
        relayed = measureWindow(window, 3, 2);
        relayConnections = relay.connectionCount();
    }

    if (!ours.ok || !theirs.ok || !bareOk || !relayed.ok || ours.failures || relayed.failures
        || shownName != serverName) {
        table.addNote(QStringLiteral("network: something failed (window ok %1, failed requests %2, shown "
                                     "name \"%3\", bare client ok %4, relayed ok %5)")
                          .arg(ours.ok)
                          .arg(ours.failures + relayed.failures)
                          .arg(shownName)
                          .arg(theirs.ok && bareOk)
                          .arg(relayed.ok));
        if (!ours.ok)
            return;
    }

    using R = ResultTable;
    auto timeRow = [&](const QString &measure, double a, double b) {
        table.add({QStringLiteral("network"), measure, R::number(a, 1) + QStringLiteral(" ms"),
                   QStringLiteral("bare ") + R::number(b, 1) + QStringLiteral(" ms"), R::number(a / b), QString(),
                   R::NoTarget});
    };
    timeRow(QStringLiteral("first full update (cold, one sample)"), ours.firstMs, theirs.firstMs);
    timeRow(QStringLiteral("full update, open connection, median of %1").arg(reusedUpdates), median(ours.reusedMs),
            median(theirs.reusedMs));
    timeRow(QStringLiteral("full update, new connection, median of %1").arg(newConnectionUpdates), median(ours.newMs),
            median(theirs.newMs));
    table.add({QStringLiteral("network"), QStringLiteral("TLS handshakes in the first update"),
               QString::number(ours.firstHandshakes), QStringLiteral("bare %1").arg(theirs.firstHandshakes), QString(),
               QString(), R::NoTarget});
    table.add({QStringLiteral("network"),
               QStringLiteral("TLS handshakes in the following %1 updates").arg(reusedUpdates),
               QString::number(ours.reusedHandshakes), QStringLiteral("bare %1").arg(theirs.reusedHandshakes),
               QString(), QStringLiteral("0"), R::verdict(ours.reusedHandshakes == 0)});

    // The count is sound if it sees each connection that is new for certain
    // and agrees with the relay's count of TCP connections.
    const bool counterSound = ours.newHandshakes == newConnectionUpdates && relayed.handshakes() == relayConnections;
    table.add({QStringLiteral("network"),
               QStringLiteral("check: handshakes in %1 updates on new connections; counted vs relay's TCP "
                              "connections")
                   .arg(newConnectionUpdates),
               QStringLiteral("%1; %2").arg(ours.newHandshakes).arg(relayed.handshakes()),
               QStringLiteral("%1; relay %2").arg(newConnectionUpdates).arg(relayConnections), QString(),
               QStringLiteral("equal"), R::verdict(counterSound)});
    table.addNote(QStringLiteral("network: full update = status, resources and maps queries one after "
                                 "another; \"bare\" = the same three GETs on a plain network access manager; "
                                 "ratio = window / bare"));
}

#include "core/api/queuedhttp.h"
#include "eventwait.h"
#include "patience.h"
#include "tlstestserver.h"

#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpServer>
#include <QtTest>

namespace {

struct Finish
{
    int id;
    bool error;
    QByteArray body;
};

// Records, in order, every start and finish of a client together with the
// body that readAll() gives while each finish is being handled.
struct Log
{
    explicit Log(QueuedHttp *http)
    {
        QObject::connect(http, &QueuedHttp::requestStarted, http,
                         [this](int id) { events.append(QStringLiteral("S%1").arg(id)); });
        QObject::connect(http, &QueuedHttp::requestFinished, http, [this, http](int id, bool error) {
            events.append(QStringLiteral("F%1").arg(id));
            finishes.append({id, error, http->readAll()});
        });
    }
    Finish of(int id) const
    {
        for (const Finish &finish : finishes)
            if (finish.id == id)
                return finish;
        return {0, true, "no finish"};
    }
    QStringList events;
    QList<Finish> finishes;
};

} // namespace

class TestQueuedHttp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void operationsGetIdsAndRunStrictlyInOrder();
    void requestTargetIsSentUnchanged();
    void replyBodyIsHandedOnWhateverTheStatus_data();
    void replyBodyIsHandedOnWhateverTheStatus();
    void getBeforeAnyHostFails();
    void refusedConnectionFailsAndQueueGoesOn();
    void untrustedCertificateFails();
    void certificateForAnotherHostFails();
    void silentPeerIsGivenUp_data();
    void silentPeerIsGivenUp();
    void connectionIsReused();
    void tlsSettingsAreTakenAsQueued();
    void heldOperationsWaitForRelease();
    void deletingClientAbandonsPendingRequests();
    void clientMayBeDeletedWhileHandlingAFinish();

private:
    QSslConfiguration trusting() const;
    void connectTrusting(QueuedHttp *http, quint16 port) const;
    QString dataFile(const QString &name) const;

    QList<QSslCertificate> m_trusted;
    TlsTestServer *m_server = nullptr;
};

QString TestQueuedHttp::dataFile(const QString &name) const
{
    return QStringLiteral(TEST_DATA_DIR "/") + name;
}

QSslConfiguration TestQueuedHttp::trusting() const
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.addCaCertificates(m_trusted);
    return configuration;
}

// Queues the two steps the program takes before each GET: TLS settings, then host.
void TestQueuedHttp::connectTrusting(QueuedHttp *http, quint16 port) const
{
    http->setSslConfiguration(trusting());
    http->setHost("127.0.0.1", QueuedHttp::ConnectionModeHttps, port);
}

void TestQueuedHttp::initTestCase()
{
    QVERIFY(QSslSocket::supportsSsl());
    m_trusted = QSslCertificate::fromPath(dataFile("localhost.crt"));
    QCOMPARE(m_trusted.size(), 1);
}

void TestQueuedHttp::init()
{
    m_server = new TlsTestServer;
    QVERIFY(m_server->start(dataFile("localhost.crt"), dataFile("localhost.key")));
}

void TestQueuedHttp::cleanup()
{
    delete m_server;
    m_server = nullptr;
}

void TestQueuedHttp::operationsGetIdsAndRunStrictlyInOrder()
{
    QueuedHttp http;
    Log log(&http);
    const QSslConfiguration tls = trusting();

    const QList<int> ids = {
        http.setSslConfiguration(tls),
        http.setHost("127.0.0.1", QueuedHttp::ConnectionModeHttps, m_server->port()),
        http.get("/first"),
        http.get("/second"),
        http.setSslConfiguration(tls),
        http.setHost("localhost", QueuedHttp::ConnectionModeHttps, m_server->port()),
        http.get("/third"),
    };
    // Queuing returns at once and signals nothing by itself.
    QVERIFY(log.events.isEmpty());
    QVERIFY(http.hasPendingRequests());
    QVERIFY(ids.first() > 0);
    for (int i = 1; i < ids.size(); ++i)
        QVERIFY(ids.at(i) > ids.at(i - 1));

    WAIT_COMPARE(log.finishes.size(), ids.size());
    QStringList expected;
    for (int id : ids)
        expected << QStringLiteral("S%1").arg(id) << QStringLiteral("F%1").arg(id);
    QCOMPARE(log.events, expected);
    QVERIFY(!http.hasPendingRequests());
    QCOMPARE(http.currentId(), 0);

    for (const Finish &finish : std::as_const(log.finishes))
        QVERIFY(!finish.error);
    QCOMPARE(log.of(ids[2]).body, QByteArray("/first"));
    QCOMPARE(log.of(ids[3]).body, QByteArray("/second"));
    QCOMPARE(log.of(ids[6]).body, QByteArray("/third"));
    QCOMPARE(m_server->targets(), QList<QByteArray>({"/first", "/second", "/third"}));

    // Ids stay unique for the client's life, and nothing finishes twice.
    const int later = http.get("/fourth");
    QVERIFY(later > ids.last());
    WAIT_COMPARE(log.finishes.size(), ids.size() + 1);
    QTest::qWait(50);
    QCOMPARE(log.finishes.size(), ids.size() + 1);
}

void TestQueuedHttp::requestTargetIsSentUnchanged()
{
    const QByteArray path = "/a%20b%2Fc/api.php?token=a%2Bb%2Fc%3Dd~-._&query=consolecmd"
                            "&cmd=say%20hello%20%D0%B0%26x%3F";
    QueuedHttp http;
    Log log(&http);
    connectTrusting(&http, m_server->port());
    const int id = http.get(path);

    WAIT_COMPARE(log.finishes.size(), 3);
    QVERIFY(!log.of(id).error);
    QCOMPARE(m_server->requestLines(), QList<QByteArray>({"GET " + path + " HTTP/1.1"}));
}

void TestQueuedHttp::replyBodyIsHandedOnWhateverTheStatus_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("location");

    QTest::newRow("200") << 200 << QByteArray(R"({"online":1})") << QByteArray();
    QTest::newRow("200 empty body") << 200 << QByteArray() << QByteArray();
    QTest::newRow("200 large body") << 200 << QByteArray(qsizetype(1024) * 1024, 'x') << QByteArray();
    QTest::newRow("301 not followed") << 301 << QByteArray("<html>moved</html>") << QByteArray("/elsewhere");
    QTest::newRow("401") << 401 << QByteArray(R"({"error":"bad token"})") << QByteArray();
    QTest::newRow("404") << 404 << QByteArray("<html>not found</html>") << QByteArray();
    QTest::newRow("500") << 500 << QByteArray(R"({"error":"internal"})") << QByteArray();
    QTest::newRow("503") << 503 << QByteArray("busy") << QByteArray();
}

void TestQueuedHttp::replyBodyIsHandedOnWhateverTheStatus()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, location);
    m_server->setHandler([&](const QByteArray &) {
        TlsTestReply reply;
        reply.status = status;
        reply.body = body;
        if (!location.isEmpty())
            reply.headers.append({"Location", location});
        return reply;
    });

    QueuedHttp http;
    Log log(&http);
    connectTrusting(&http, m_server->port());
    const int id = http.get("/api.php?query=status");

    WAIT_COMPARE(log.finishes.size(), 3);
    QCOMPARE(log.of(id).error, false);
    QCOMPARE(log.of(id).body.size(), body.size());
    QCOMPARE(log.of(id).body, body);
    QCOMPARE(m_server->requestLines().size(), 1); // a redirect was not followed
    // The body belongs to the finish being handled only.
    QVERIFY(http.readAll().isEmpty());
}

void TestQueuedHttp::getBeforeAnyHostFails()
{
    QueuedHttp http;
    Log log(&http);
    const int early = http.get("/early");
    connectTrusting(&http, m_server->port());
    const int later = http.get("/later");

    WAIT_COMPARE(log.finishes.size(), 4);
    QCOMPARE(log.of(early).error, true);
    QCOMPARE(log.of(early).body, QByteArray());
    QCOMPARE(log.of(later).error, false);
    QCOMPARE(m_server->targets(), QList<QByteArray>({"/later"}));
}

void TestQueuedHttp::refusedConnectionFailsAndQueueGoesOn()
{
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        closedPort = probe.serverPort();
    }

    QueuedHttp http;
    Log log(&http);
    connectTrusting(&http, closedPort);
    const int refused = http.get("/refused");
    http.setHost("127.0.0.1", QueuedHttp::ConnectionModeHttps, m_server->port());
    const int served = http.get("/served");

    WAIT_COMPARE(log.finishes.size(), 5);
    QCOMPARE(log.of(refused).error, true);
    QCOMPARE(log.of(refused).body, QByteArray());
    QCOMPARE(log.of(served).error, false);
    QCOMPARE(log.of(served).body, QByteArray("/served"));
}

void TestQueuedHttp::untrustedCertificateFails()
{
    TlsTestServer untrusted;
    QVERIFY(untrusted.start(dataFile("untrusted.crt"), dataFile("untrusted.key")));

    QueuedHttp http;
    Log log(&http);
    connectTrusting(&http, untrusted.port());
    const int rejected = http.get("/secret");
    http.setHost("127.0.0.1", QueuedHttp::ConnectionModeHttps, m_server->port());
    const int accepted = http.get("/fine");

    WAIT_COMPARE(log.finishes.size(), 5);
    QCOMPARE(log.of(rejected).error, true);
    QCOMPARE(log.of(rejected).body, QByteArray());
    QVERIFY(untrusted.requestLines().isEmpty());
    QCOMPARE(log.of(accepted).error, false);
}

void TestQueuedHttp::certificateForAnotherHostFails()
{
    // The trusted certificate names localhost and 127.0.0.1 only.
    TlsTestServer elsewhere;
    if (!elsewhere.start(dataFile("localhost.crt"), dataFile("localhost.key"), QHostAddress("127.0.0.2")))
        QSKIP("127.0.0.2 is not a loopback address here");

    QueuedHttp http;
    Log log(&http);
    http.setSslConfiguration(trusting());
    http.setHost("127.0.0.2", QueuedHttp::ConnectionModeHttps, elsewhere.port());
    const int id = http.get("/secret");

    WAIT_COMPARE(log.finishes.size(), 3);
    QCOMPARE(log.of(id).error, true);
    QCOMPARE(log.of(id).body, QByteArray());
    QVERIFY(elsewhere.requestLines().isEmpty());
}

void TestQueuedHttp::silentPeerIsGivenUp_data()
{
    QTest::addColumn<bool>("speaksTls");
    QTest::newRow("no reply to the request") << true;
    QTest::newRow("no TLS handshake") << false;
}

void TestQueuedHttp::silentPeerIsGivenUp()
{
    QFETCH(bool, speaksTls);
    m_server->setHandler([](const QByteArray &target) {
        TlsTestReply reply;
        reply.body = target;
        reply.silent = target == "/hang";
        return reply;
    });
    QTcpServer mute; // accepts connections and never says a word
    QVERIFY(mute.listen(QHostAddress::LocalHost));
    const quint16 silentPort = speaksTls ? m_server->port() : mute.serverPort();

    QueuedHttp http;
    Log log(&http);
    connectTrusting(&http, silentPort);
    const int hung = http.get("/hang");
    http.setHost("127.0.0.1", QueuedHttp::ConnectionModeHttps, m_server->port());
    const int after = http.get("/after");
    // A short limit for the GET that hangs only, so a busy machine cannot fail the other.
    connect(&http, &QueuedHttp::requestStarted, this,
            [&](int id) { http.setTransferTimeout(id == hung ? 300 : patienceMs); });

    WAIT_COMPARE(log.finishes.size(), 5);
    QCOMPARE(log.of(hung).error, true);
    QCOMPARE(log.of(hung).body, QByteArray());
    QCOMPARE(log.of(after).error, false);
    QCOMPARE(log.of(after).body, QByteArray("/after"));
}

void TestQueuedHttp::connectionIsReused()
{
    QueuedHttp http;
    Log log(&http);
    const QSslConfiguration tls = trusting();
    // The way the program queries: TLS settings and host are set again before every GET.
    QList<int> gets;
    for (const QByteArray path : {"/a", "/b", "/c"}) {
        http.setSslConfiguration(tls);
        http.setHost("127.0.0.1", QueuedHttp::ConnectionModeHttps, m_server->port());
        gets << http.get(path);
    }

    WAIT_COMPARE(log.finishes.size(), 9);
    for (int id : gets)
        QCOMPARE(log.of(id).error, false);
    QCOMPARE(m_server->targets(), QList<QByteArray>({"/a", "/b", "/c"}));
    QCOMPARE(m_server->connectionCount(), 1);
    QCOMPARE(m_server->handshakeCount(), 1);
}

void TestQueuedHttp::tlsSettingsAreTakenAsQueued()
{
    QueuedHttp http;
    Log log(&http);
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration(); // trusts nothing of ours

    http.setSslConfiguration(configuration);
    http.setHost("127.0.0.1", QueuedHttp::ConnectionModeHttps, m_server->port());
    const int rejected = http.get("/rejected");
    // Changed after queuing, before the operation runs: the queued copy counts.
    configuration.addCaCertificates(m_trusted);

    WAIT_COMPARE(log.finishes.size(), 3);
    QCOMPARE(log.of(rejected).error, true);

    http.setSslConfiguration(configuration);
    const int trusted = http.get("/trusted");
    WAIT_COMPARE(log.finishes.size(), 5);
    QCOMPARE(log.of(trusted).error, false);

    // Different settings must not ride on the connection opened under the old ones.
    http.setSslConfiguration(QSslConfiguration::defaultConfiguration());
    const int rejectedAgain = http.get("/rejected-again");
    WAIT_COMPARE(log.finishes.size(), 7);
    QCOMPARE(log.of(rejectedAgain).error, true);
    QCOMPARE(m_server->targets(), QList<QByteArray>({"/trusted"}));
}

void TestQueuedHttp::heldOperationsWaitForRelease()
{
    QueuedHttp http;
    Log log(&http);
    http.hold();
    int asked = 0;
    // Settings from a source are read when their operation runs, not before.
    const int tls = http.setSslConfiguration([&] {
        ++asked;
        return trusting();
    });
    http.setHost("127.0.0.1", QueuedHttp::ConnectionModeHttps, m_server->port());
    const int id = http.get("/after-release");
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QVERIFY(log.events.isEmpty());
    QCOMPARE(asked, 0);
    QVERIFY(http.hasPendingRequests());
    QCOMPARE(http.currentId(), 0);

    http.release();
    WAIT_COMPARE(log.finishes.size(), 3);
    QCOMPARE(log.events.first(), QStringLiteral("S%1").arg(tls));
    QCOMPARE(asked, 1);
    QCOMPARE(log.of(id).error, false);
    QCOMPARE(m_server->targets(), QList<QByteArray>({"/after-release"}));
}

void TestQueuedHttp::deletingClientAbandonsPendingRequests()
{
    m_server->setHandler([](const QByteArray &target) {
        TlsTestReply reply;
        reply.silent = target == "/hang";
        return reply;
    });
    auto *http = new QueuedHttp;
    int finishes = 0;
    connect(http, &QueuedHttp::requestFinished, this, [&finishes] { ++finishes; });
    connectTrusting(http, m_server->port());
    http->get("/hang");
    http->get("/never");

    WAIT_COMPARE(m_server->targets().size(), 1);
    QCOMPARE(finishes, 2);
    QVERIFY(http->hasPendingRequests());
    delete http;
    QTest::qWait(200);
    QCOMPARE(finishes, 2);
    QCOMPARE(m_server->targets(), QList<QByteArray>({"/hang"}));
}

void TestQueuedHttp::clientMayBeDeletedWhileHandlingAFinish()
{
    QPointer<QueuedHttp> http = new QueuedHttp;
    QList<int> finished;
    connectTrusting(http, m_server->port());
    const int first = http->get("/one");
    http->get("/two");
    connect(http, &QueuedHttp::requestFinished, this, [&](int id) {
        finished << id;
        if (id == first)
            delete http.data();
    });

    WAIT_VERIFY(http.isNull());
    QTest::qWait(200);
    QCOMPARE(finished.size(), 3);
    QCOMPARE(finished.last(), first);
    QCOMPARE(m_server->targets(), QList<QByteArray>({"/one"}));
}

QTEST_GUILESS_MAIN(TestQueuedHttp)
#include "tst_queuedhttp.moc"

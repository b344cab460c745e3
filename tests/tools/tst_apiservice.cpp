#include "apihttpsserver.h"
#include "apirequestrouter.h"
#include "demoservers.h"
#include "gameserverprofile.h"
#include "hostingapi.h"
#include "patience.h"
#include "querystring.h"
#include "selfsignedcertificate.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 StartDelayMs = 3000;

const QString NorthFortKey = QString::fromLatin1(DemoServers::NorthFort.apiKey);
const QString HarborNightKey = QString::fromLatin1(DemoServers::HarborNight.apiKey);
const QString PrivateClubKey = QString::fromLatin1(DemoServers::PrivateClub.apiKey);
const QString NorthFortName = QString::fromUtf8(DemoServers::NorthFort.name);

// A hosting API whose time only moves when the test says so.
struct SimulatedHosting
{
    qint64 now = 1'000'000;
    HostingApi api;

    explicit SimulatedHosting(quint32 seed = 1, const QList<GameServerProfile> &profiles = demoServerProfiles())
        : api(profiles, HostingApi::Options {StartDelayMs, seed}, [this] { return now; })
    { }

    QJsonObject ask(const QString &key, const QString &kind, const QString &name = {}, const QString &value = {})
    {
        QueryParameters parameters {{u"token"_s, key}, {u"query"_s, kind}};
        if (!name.isEmpty())
            parameters.insert(name, value);
        const ApiReply reply = api.handle(parameters);
        if (reply.httpStatus != 200)
            qWarning() << "HTTP status" << reply.httpStatus << reply.body;
        return reply.body;
    }

    QJsonObject status(const QString &key) { return ask(key, u"status"_s); }
    int online(const QString &key) { return status(key)[u"online"].toInt(-1); }
    QJsonArray players(const QString &key) { return status(key)[u"data"][u"p"].toArray(); }
};

QString encoded(const QString &text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

QByteArray queryFor(const QString &key, const QString &kind, const QString &extra = {})
{
    return ("token=" + encoded(key) + "&query=" + kind + extra).toLatin1();
}

QByteArray apiUrl(const char *host, const QByteArray &port, const QByteArray &query, const char *path = "/api.php")
{
    return "https://" + QByteArray(host) + ':' + port + path + '?' + query;
}

QString errorOf(const QJsonObject &reply)
{
    return reply[u"result"].toString() == u"error" ? reply[u"error"].toString() : QString();
}

struct HttpResult
{
    bool finished = false;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int status = 0;
    QJsonObject body;
};

// Starts the service executable on a free loopback port with a certificate
// generated into `dir`, and reads back that port and certificate.
bool startServiceProcess(QProcess &service, const QTemporaryDir &dir, const QStringList &extraArguments,
                         QByteArray *port, QSslCertificate *certificate)
{
    const QString portFile = dir.filePath(u"port"_s);
    const QString tlsDir = dir.filePath(u"tls"_s);
    service.start(QStringLiteral(API_SERVICE_EXECUTABLE),
                  QStringList {u"--generate-cert"_s, tlsDir, u"--port"_s, u"0"_s, u"--port-file"_s, portFile}
                      + extraArguments);
    if (!service.waitForStarted(patienceMs)) {
        qWarning("cannot start the service: %s", qPrintable(service.errorString()));
        return false;
    }
    QFile portText(portFile);
    if (!QTest::qWaitFor([&] { return QFileInfo(portFile).size() > 0; }, patienceMs)
        || !portText.open(QIODevice::ReadOnly))
        return false;
    *port = portText.readAll().trimmed();
    const QList<QSslCertificate> certificates
        = QSslCertificate::fromPath(tlsDir + u'/' + QLatin1String(SelfSignedCertificate::CertificateFileName));
    if (port->toUShort() == 0 || certificates.size() != 1)
        return false;
    *certificate = certificates.first();
    return true;
}

// GET with the usual certificate checks, trusting `trusted` as an authority.
HttpResult httpsGet(QNetworkAccessManager &network, const QSslCertificate &trusted, const QByteArray &url)
{
    QNetworkRequest request(QUrl::fromEncoded(url, QUrl::StrictMode));
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.addCaCertificate(trusted);
    request.setSslConfiguration(tls);

    std::unique_ptr<QNetworkReply> reply(network.get(request));
    HttpResult result;
    result.finished = QTest::qWaitFor([&] { return reply->isFinished(); }, patienceMs);
    result.error = reply->error();
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.body = QJsonDocument::fromJson(reply->readAll()).object();
    return result;
}

} // namespace

class TestApiService : public QObject
{
    Q_OBJECT

private slots:
    void queryStringDecoding_data();
    void queryStringDecoding();
    void startGoesThroughStartingToRunning();
    void stopTurnsServerOffAtOnce();
    void restartGoesThroughStartingAgain();
    void changelevelAcceptsOnlyKnownMaps();
    void consoleCommands_data();
    void consoleCommands();
    void statusRepliesHaveTheShapeTheClientReads();
    void resourcesStayPlausibleWhilePlayersComeAndGo();
    void sameSeedGivesSameSimulation();
    void unknownKeyOrQueryKindGetsJsonError();
    void malformedRequestsGet400_data();
    void malformedRequestsGet400();
    void cyrillicKeyAndParameters();
    void generatedCertificateCoversLoopback();
    void servesOverHttps();
    void executableServesAndStopsOnSignal_data();
    void executableServesAndStopsOnSignal();
    void speedOptionMakesPlayersComeAndGoSooner();
    void speedOptionRejectsNonsense();
};

void TestApiService::queryStringDecoding_data()
{
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("valid");

    const auto row
        = [](const char *tag, const char *query, const char *name, const QString &expected, bool valid = true) {
              QTest::newRow(tag) << QByteArray(query) << QString::fromLatin1(name) << expected << valid;
          };
    row("encoded plus", "token=a%2Bb", "token", u"a+b"_s);
    row("literal plus is no space", "token=a+b", "token", u"a+b"_s);
    row("slash and equals", "token=a%2Fb%3D%3D", "token", u"a/b=="_s);
    row("lower-case hex", "token=a%2bb", "token", u"a+b"_s);
    row("space", "cmd=say%20hi", "cmd", u"say hi"_s);
    row("delimiters inside value", "cmd=a%26b%3Dc&x=1", "cmd", u"a&b=c"_s);
    row("cyrillic", "map=%D0%B0%D0%B1", "map", u"аб"_s);
    row("first of repeated name", "token=x&token=y", "token", u"x"_s);
    row("name without value", "a=1&&map", "map", QString());
    row("broken escape", "token=%zz", "token", QString(), false);
    row("cut escape", "token=ab%2", "token", QString(), false);
    row("not utf-8", "token=%C3%28", "token", QString(), false);
}

void TestApiService::queryStringDecoding()
{
    QFETCH(QByteArray, query);
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QFETCH(bool, valid);

    const std::optional<QueryParameters> parameters = parseQueryString(query);
    QCOMPARE(parameters.has_value(), valid);
    if (valid) {
        QVERIFY(parameters->contains(name));
        QCOMPARE(parameters->value(name), expected);
    }
}

void TestApiService::startGoesThroughStartingToRunning()
{
    SimulatedHosting hosting;
    QCOMPARE(hosting.online(HarborNightKey), 0);

    QCOMPARE(hosting.ask(HarborNightKey, u"start"_s)[u"result"].toString(), u"ok"_s);
    QCOMPARE(hosting.online(HarborNightKey), 2);

    hosting.now += StartDelayMs - 1;
    QCOMPARE(hosting.online(HarborNightKey), 2);
    QCOMPARE(errorOf(hosting.ask(HarborNightKey, u"start"_s)), u"already_started"_s);

    hosting.now += 1;
    QCOMPARE(hosting.online(HarborNightKey), 1);
    QCOMPARE(errorOf(hosting.ask(HarborNightKey, u"start"_s)), u"already_started"_s);
}

void TestApiService::stopTurnsServerOffAtOnce()
{
    SimulatedHosting hosting;
    QVERIFY(!hosting.players(NorthFortKey).isEmpty());

    QCOMPARE(hosting.ask(NorthFortKey, u"stop"_s)[u"result"].toString(), u"ok"_s);
    const QJsonObject status = hosting.status(NorthFortKey);
    QCOMPARE(status[u"online"].toInt(), 0);
    QVERIFY(status[u"data"][u"p"].toArray().isEmpty());
    QCOMPARE(status[u"data"][u"s"][u"players"].toString(), u"0"_s);

    const QJsonObject resources = hosting.ask(NorthFortKey, u"getresources"_s);
    QVERIFY(resources[u"cpu_proc"].toInt(-1) >= 0 && resources[u"cpu_proc"].toInt() <= 5);
    QCOMPARE(resources[u"players_proc"].toInt(-1), 0);
    QCOMPARE(resources[u"mem_used"].toString(), u"0 MB"_s);

    QCOMPARE(errorOf(hosting.ask(NorthFortKey, u"stop"_s)), u"already_off"_s);
}

void TestApiService::restartGoesThroughStartingAgain()
{
    SimulatedHosting hosting;
    for (const QString &key : {PrivateClubKey, HarborNightKey}) { // running and off
        QCOMPARE(hosting.ask(key, u"restart"_s)[u"result"].toString(), u"ok"_s);
        QCOMPARE(hosting.online(key), 2);
        QVERIFY(hosting.players(key).isEmpty());
        hosting.now += StartDelayMs;
        QCOMPARE(hosting.online(key), 1);
    }
}

void TestApiService::changelevelAcceptsOnlyKnownMaps()
{
    SimulatedHosting hosting;
    const auto changeTo
        = [&](const QString &key, const QString &map) { return hosting.ask(key, u"changelevel"_s, u"map"_s, map); };
    const auto currentMap = [&] { return hosting.status(NorthFortKey)[u"data"][u"s"][u"map"].toString(); };
    const QJsonArray maps = hosting.ask(NorthFortKey, u"getmaps"_s)[u"maps"].toArray();
    QVERIFY(maps.size() >= 3);
    QCOMPARE(currentMap(), maps.first().toString());

    const QString target = maps.at(2).toString();
    QCOMPARE(changeTo(NorthFortKey, target)[u"result"].toString(), u"ok"_s);
    QCOMPARE(currentMap(), target);

    for (const QString &unknown : {u"no_such_map"_s, target.toUpper(), QString()})
        QCOMPARE(errorOf(changeTo(NorthFortKey, unknown)), u"unknown_map"_s);
    QCOMPARE(currentMap(), target);

    const QString offServerMap = hosting.ask(HarborNightKey, u"getmaps"_s)[u"maps"][1].toString();
    QCOMPARE(errorOf(changeTo(HarborNightKey, offServerMap)), u"not_running"_s);
}

void TestApiService::consoleCommands_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("outputPart");

    const auto row = [](const char *tag, const QString &key, const QString &command, const char *error,
                        const QString &outputPart = {}) {
        QTest::newRow(tag) << key << command << QString::fromLatin1(error) << outputPart;
    };
    row("status", NorthFortKey, u"status"_s, "", u"hostname: "_s + NorthFortName);
    row("users", PrivateClubKey, u"users"_s, "", u"users"_s);
    row("maps mark the current one", NorthFortKey, u"maps"_s, "", u"* forest_outpost"_s);
    row("say", NorthFortKey, u"say Всем привет + 1"_s, "", u"Console: Всем привет + 1"_s);
    row("command word in capitals", NorthFortKey, u"STATUS"_s, "", u"map: "_s);
    row("say without text", NorthFortKey, u"say"_s, "bad_arguments");
    row("unknown", NorthFortKey, u"kick Rook"_s, "unknown_command");
    row("empty", NorthFortKey, QString(), "empty_command");
    row("server off", HarborNightKey, u"status"_s, "not_running");
}

void TestApiService::consoleCommands()
{
    QFETCH(QString, key);
    QFETCH(QString, command);
    QFETCH(QString, error);
    QFETCH(QString, outputPart);

    SimulatedHosting hosting;
    const QJsonObject reply = hosting.ask(key, u"consolecmd"_s, u"cmd"_s, command);
    QCOMPARE(errorOf(reply), error);
    if (error.isEmpty()) {
        const QString output = reply[u"output"].toString();
        QVERIFY2(output.contains(outputPart), qPrintable(output));
    } else {
        QVERIFY(!reply[u"message"].toString().isEmpty());
    }
}

void TestApiService::statusRepliesHaveTheShapeTheClientReads()
{
    SimulatedHosting hosting;
    const QRegularExpression playTime(u"^\\d{2,}:[0-5]\\d$"_s);

    QSet<QString> names;
    for (const DemoServers::Entry &demo : DemoServers::All) {
        const QJsonObject status = hosting.status(QString::fromLatin1(demo.apiKey));
        const QJsonObject data = status[u"data"].toObject();
        const QJsonObject server = data[u"s"].toObject();
        const QJsonArray players = data[u"p"].toArray();

        QVERIFY(status[u"online"].isDouble());
        QCOMPARE(server[u"name"].toString(), QString::fromUtf8(demo.name));
        names.insert(server[u"name"].toString());
        QVERIFY(!server[u"map"].toString().isEmpty());
        QCOMPARE(server[u"players"].toString().toInt(), players.size());
        QVERIFY(server[u"playersmax"].toString().toInt() >= players.size());
        QVERIFY(server[u"password"].isBool());
        QVERIFY(!data[u"b"][u"ip"].toString().isEmpty());
        QVERIFY(data[u"b"][u"c_port"].toInt() > 0);
        for (const auto &player : players) {
            QVERIFY(!player[u"name"].toString().isEmpty());
            QVERIFY(player[u"score"].isDouble());
            QVERIFY2(playTime.match(player[u"time"].toString()).hasMatch(), qPrintable(player[u"time"].toString()));
        }
    }
    QCOMPARE(names.size(), 3);

    QCOMPARE(hosting.online(NorthFortKey), 1);
    QCOMPARE(hosting.online(HarborNightKey), 0);
    QCOMPARE(hosting.online(PrivateClubKey), 1);
    QCOMPARE(hosting.status(PrivateClubKey)[u"data"][u"s"][u"password"].toBool(), true);
    QCOMPARE(hosting.status(NorthFortKey)[u"data"][u"s"][u"password"].toBool(), false);
}

void TestApiService::resourcesStayPlausibleWhilePlayersComeAndGo()
{
    SimulatedHosting hosting(7);
    const QRegularExpression megabytes(u"^\\d+ MB$"_s);
    const auto playerNames = [&] {
        QSet<QString> names;
        for (const auto &player : hosting.players(NorthFortKey))
            names.insert(player[u"name"].toString());
        return names;
    };
    const QSet<QString> firstCrowd = playerNames();
    QSet<QString> everSeen = firstCrowd;

    for (int minute = 1; minute <= 30; ++minute) {
        hosting.now += 60'000;
        const QJsonObject resources = hosting.ask(NorthFortKey, u"getresources"_s);
        for (const QString &key : {u"cpu_proc"_s, u"mem_proc"_s, u"players_proc"_s, u"disk_proc"_s}) {
            const int percent = resources[key].toInt(-1);
            QVERIFY2(percent >= 0 && percent <= 100, qPrintable(key));
        }
        for (const QString &key : {u"mem_used"_s, u"mem_quota"_s, u"disk_used"_s, u"disk_quota"_s})
            QVERIFY2(megabytes.match(resources[key].toString()).hasMatch(), qPrintable(key));
        const int players = resources[u"players"].toString().toInt();
        QVERIFY(players <= resources[u"players_max"].toString().toInt());

        const QSet<QString> names = playerNames();
        QCOMPARE(names.size(), players);
        everSeen.unite(names);
    }
    QVERIFY(everSeen.size() > firstCrowd.size()); // somebody joined
    QVERIFY(!playerNames().contains(firstCrowd)); // somebody left
}

void TestApiService::sameSeedGivesSameSimulation()
{
    SimulatedHosting first(42);
    SimulatedHosting second(42);
    for (int step = 0; step < 20; ++step) {
        first.now += 17'000;
        second.now += 17'000;
        for (const QString &kind : {u"status"_s, u"getresources"_s})
            QCOMPARE(first.ask(NorthFortKey, kind), second.ask(NorthFortKey, kind));
    }
}

void TestApiService::unknownKeyOrQueryKindGetsJsonError()
{
    SimulatedHosting hosting;
    for (const QString &key : {u"no-such-key"_s, QString()}) {
        const ApiReply reply = hosting.api.handle({{u"token"_s, key}, {u"query"_s, u"status"_s}});
        QCOMPARE(reply.httpStatus, 200);
        QCOMPARE(errorOf(reply.body), u"unknown_token"_s);
        QVERIFY(reply.serverName.isEmpty());
    }
    for (const QString &kind : {u"reboot"_s, u"Status"_s, QString()}) {
        const ApiReply reply = hosting.api.handle({{u"token"_s, NorthFortKey}, {u"query"_s, kind}});
        QCOMPARE(reply.httpStatus, 200);
        QCOMPARE(errorOf(reply.body), u"unknown_query"_s);
    }
}

void TestApiService::malformedRequestsGet400_data()
{
    QTest::addColumn<bool>("isGet");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<int>("status");

    const QString api = u"/api.php"_s;
    const QByteArray key = "token=" + QUrl::toPercentEncoding(NorthFortKey);
    QTest::newRow("well-formed") << true << api << key + "&query=status" << 200;
    QTest::newRow("wrong path") << true << u"/index.php"_s << key + "&query=status" << 400;
    QTest::newRow("no token") << true << api << QByteArray("query=status") << 400;
    QTest::newRow("no query") << true << api << key << 400;
    QTest::newRow("changelevel without map") << true << api << key + "&query=changelevel" << 400;
    QTest::newRow("consolecmd without cmd") << true << api << key + "&query=consolecmd" << 400;
    QTest::newRow("broken escape") << true << api << key + "&query=status&x=%G1" << 400;
    QTest::newRow("not GET") << false << api << key + "&query=status" << 405;
}

void TestApiService::malformedRequestsGet400()
{
    QFETCH(bool, isGet);
    QFETCH(QString, path);
    QFETCH(QByteArray, query);
    QFETCH(int, status);

    SimulatedHosting hosting;
    ApiRequestRouter router(hosting.api);
    const ApiReply reply = router.answer(isGet, path, query);
    QCOMPARE(reply.httpStatus, status);
    if (status != 200)
        QCOMPARE(errorOf(reply.body), u"bad_request"_s);
}

void TestApiService::cyrillicKeyAndParameters()
{
    GameServerProfile profile = demoServerProfiles().first();
    profile.apiKey = u"ключ+К/л=ч"_s;
    profile.maps = {u"зимний лес"_s, u"порт+док"_s};
    SimulatedHosting hosting(1, {profile});
    ApiRequestRouter router(hosting.api);
    const QString api = u"/api.php"_s;

    QVERIFY(encoded(profile.apiKey).startsWith(u"%D0%BA"_s));
    const ApiReply changed
        = router.answer(true, api, queryFor(profile.apiKey, u"changelevel"_s, "&map=" + encoded(profile.maps.at(1))));
    QCOMPARE(changed.body[u"result"].toString(), u"ok"_s);
    QCOMPARE(changed.serverName, profile.name);

    const ApiReply status = router.answer(true, api, queryFor(profile.apiKey, u"status"_s));
    QCOMPARE(status.body[u"data"][u"s"][u"map"].toString(), profile.maps.at(1));

    // A "+" sent raw stays a plus, so the key still matches.
    const QByteArray rawPlus = "token=" + profile.apiKey.toUtf8().toPercentEncoding("+") + "&query=status";
    QVERIFY(rawPlus.contains('+'));
    QCOMPARE(router.answer(true, api, rawPlus).serverName, profile.name);
}

void TestApiService::generatedCertificateCoversLoopback()
{
    const SelfSignedCertificate generated = SelfSignedCertificate::generate();
    QVERIFY(!generated.isNull());
    const QSslCertificate certificate(generated.certificatePem, QSsl::Pem);
    QVERIFY(!certificate.isNull());
    const auto names = certificate.subjectAlternativeNames();
    QVERIFY(names.values(QSsl::DnsEntry).contains(u"localhost"_s));
    QVERIFY(names.values(QSsl::IpAddressEntry).contains(u"127.0.0.1"_s));
    QVERIFY(certificate.expiryDate() > QDateTime::currentDateTimeUtc().addDays(30));
    QVERIFY(!QSslKey(generated.keyPem, QSsl::Ec).isNull());

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QCOMPARE(generated.writeTo(dir.filePath(u"tls"_s)), QString());
    QFile key(dir.filePath(u"tls/"_s + QLatin1String(SelfSignedCertificate::KeyFileName)));
    QVERIFY(key.exists());
    QCOMPARE(key.permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
}

void TestApiService::servesOverHttps()
{
    const SelfSignedCertificate generated = SelfSignedCertificate::generate();
    const QSslCertificate certificate(generated.certificatePem, QSsl::Pem);
    SimulatedHosting hosting;
    ApiHttpsServer server(hosting.api);
    QStringList log;
    server.setLogSink([&log](const QString &line) { log << line; });
    const QByteArray port
        = QByteArray::number(server.listenOnLoopback(certificate, QSslKey(generated.keyPem, QSsl::Ec), 0));
    QVERIFY(port != "0");

    // By address as well as by name, with certificate checks on.
    QNetworkAccessManager network;
    const HttpResult byAddress
        = httpsGet(network, certificate, apiUrl("127.0.0.1", port, queryFor(NorthFortKey, u"status"_s)));
    QVERIFY(byAddress.finished);
    QCOMPARE(byAddress.error, QNetworkReply::NoError);
    QCOMPARE(byAddress.body[u"data"][u"s"][u"name"].toString(), NorthFortName);

    const QString say = u"say Привет, a+b=c & d"_s;
    const HttpResult said
        = httpsGet(network, certificate,
                   apiUrl("localhost", port, queryFor(PrivateClubKey, u"consolecmd"_s, "&cmd=" + encoded(say))));
    QCOMPARE(said.error, QNetworkReply::NoError);
    QCOMPARE(said.body[u"output"].toString(), u"Console: Привет, a+b=c & d"_s);

    const HttpResult unknownKey = httpsGet(network, certificate, apiUrl("localhost", port, "token=x&query=status"));
    QCOMPARE(unknownKey.status, 200);
    QCOMPARE(errorOf(unknownKey.body), u"unknown_token"_s);

    const HttpResult wrongPath
        = httpsGet(network, certificate, apiUrl("localhost", port, queryFor(NorthFortKey, u"status"_s), "/status"));
    QCOMPARE(wrongPath.status, 400);
    QCOMPARE(errorOf(wrongPath.body), u"bad_request"_s);

    QNetworkAccessManager freshNetwork; // no pooled connection to fall back on
    const HttpResult untrusted
        = httpsGet(freshNetwork, QSslCertificate(), apiUrl("localhost", port, queryFor(NorthFortKey, u"status"_s)));
    QVERIFY(untrusted.finished);
    QCOMPARE(untrusted.error, QNetworkReply::SslHandshakeFailedError);

    QCOMPARE(log.size(), 4);
    const QString joined = log.join(u'\n');
    QVERIFY(joined.contains(u" status 200 "_s + NorthFortName));
    const QString privateClubName = QString::fromUtf8(DemoServers::PrivateClub.name);
    QVERIFY(joined.contains(u" consolecmd 200 "_s + privateClubName));
    QVERIFY(!joined.contains(NorthFortKey) && !joined.contains(encoded(NorthFortKey)));
    QVERIFY(!joined.contains(u"token"_s));
}

void TestApiService::executableServesAndStopsOnSignal_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestApiService::executableServesAndStopsOnSignal()
{
    QFETCH(int, signalNumber);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QProcess service;
    QByteArray port;
    QSslCertificate certificate;
    QVERIFY(startServiceProcess(service, dir, {u"--seed"_s, u"5"_s}, &port, &certificate));

    QNetworkAccessManager network;
    const HttpResult status
        = httpsGet(network, certificate, apiUrl("127.0.0.1", port, queryFor(NorthFortKey, u"status"_s)));
    QCOMPARE(status.error, QNetworkReply::NoError);
    QCOMPARE(status.body[u"online"].toInt(), 1);

    QVERIFY(::kill(pid_t(service.processId()), signalNumber) == 0);
    QVERIFY(service.waitForFinished(patienceMs));
    QCOMPARE(service.exitStatus(), QProcess::NormalExit);
    QCOMPARE(service.exitCode(), 0);

    QCOMPARE(QString::fromUtf8(service.readAllStandardOutput()).trimmed(),
             u"listening on https://127.0.0.1:"_s + QString::fromLatin1(port));
    const QString log = QString::fromUtf8(service.readAllStandardError());
    QVERIFY2(log.contains(u"status 200 "_s + NorthFortName), qPrintable(log));
    QVERIFY(!log.contains(NorthFortKey) && !log.contains(encoded(NorthFortKey)));
}

void TestApiService::speedOptionMakesPlayersComeAndGoSooner()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A second of the clock is more than a day of play.
    QProcess service;
    QByteArray port;
    QSslCertificate certificate;
    QVERIFY(startServiceProcess(service, dir, {u"--speed"_s, u"100000"_s}, &port, &certificate));

    QNetworkAccessManager network;
    auto playerNames = [&] {
        const HttpResult status
            = httpsGet(network, certificate, apiUrl("127.0.0.1", port, queryFor(NorthFortKey, u"status"_s)));
        QSet<QString> names;
        for (const auto &player : status.body[u"data"][u"p"].toArray())
            names.insert(player[u"name"].toString());
        return names;
    };
    const QSet<QString> before = playerNames();
    QVERIFY(!before.isEmpty());
    // A few hundred milliseconds are hours of play.
    QSet<QString> after;
    QTRY_VERIFY_WITH_TIMEOUT((after = playerNames()) != before, patienceMs);
    QVERIFY(!after.isEmpty());

    service.terminate();
    QVERIFY(service.waitForFinished(patienceMs));
}

void TestApiService::speedOptionRejectsNonsense()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const QString &speed : {u"0"_s, u"-3"_s, u"fast"_s}) {
        QProcess service;
        service.start(QStringLiteral(API_SERVICE_EXECUTABLE),
                      {u"--generate-cert"_s, dir.path(), u"--port"_s, u"0"_s, u"--speed"_s, speed});
        QVERIFY(service.waitForFinished(patienceMs));
        QCOMPARE(service.exitCode(), 2);
        QVERIFY(service.readAllStandardError().contains("--speed"));
    }
}

QTEST_GUILESS_MAIN(TestApiService)
#include "tst_apiservice.moc"

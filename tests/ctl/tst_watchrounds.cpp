// The rounds of valmora-ctl watch in process: the servers it asks about,
// read from a real settings file, asked over real TLS on loopback of a test
// server that plays the hosting API, with rounds a tenth of a second apart.

#include "core/crypto/machinecipher.h"
#include "ctl/serverstore.h"
#include "ctl/serviceclient.h"
#include "ctl/watchedservers.h"
#include "ctl/watchrounds.h"
#include "eventwait.h"
#include "machinekeycheck.h"
#include "patience.h"
#include "tlstestserver.h"

#include <QDir>
#include <QSettings>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QtTest>

#include <memory>

namespace {

constexpr int ShortRounds = 100;

const QString Fort = QStringLiteral("Северный форт");
const QString Harbor = QStringLiteral("Ночная гавань");
const QString Arena = QStringLiteral("Арена");
const QString Broken = QStringLiteral("Сломанный");

QString keyOf(const QString &server)
{
    return QStringLiteral("key-%1").arg(qHash(server), 0, 16);
}

// The hosting API as the test plays it. What a server's status query gets:
// "1 3/16 citadel" (state code, players, map), or a failure: "500", "html",
// "error" or "silent". Each server answers with its standing answer, after
// any answers queued for it once.
class PlayedService
{
public:
    TlsTestServer server;
    QHash<QString, QString> standing; // key -> answer
    QHash<QString, QStringList> queued; // key -> answers, once each
    QHash<QString, int> asked; // key -> status queries

    bool start()
    {
        server.setHandler([this](const QByteArray &target) { return answer(target); });
        return server.start(QStringLiteral(TEST_DATA_DIR "/localhost.crt"),
                            QStringLiteral(TEST_DATA_DIR "/localhost.key"));
    }

    int askedAbout(const QString &name) const { return asked.value(keyOf(name)); }
    void set(const QString &name, const QString &answer) { standing.insert(keyOf(name), answer); }
    void queue(const QString &name, const QStringList &answers) { queued[keyOf(name)] += answers; }

private:
    TlsTestReply answer(const QByteArray &target)
    {
        const QUrlQuery query(QUrl(QString::fromLatin1(target)));
        const QString key = query.queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded);
        ++asked[key];
        QStringList &once = queued[key];
        const QString given = once.isEmpty() ? standing.value(key) : once.takeFirst();
        TlsTestReply reply;
        if (given == QLatin1String("500")) {
            reply.status = 500;
            reply.body = "{\"online\":1}";
        } else if (given == QLatin1String("html")) {
            reply.body = "<html>busy</html>";
        } else if (given == QLatin1String("error")) {
            reply.body = "{\"result\":\"error\",\"error\":\"unknown_token\",\"message\":\"Unknown API key\"}";
        } else if (given == QLatin1String("silent")) {
            reply.silent = true;
        } else {
            const QStringList parts = given.split(QLatin1Char(' '));
            reply.body
                = QStringLiteral(
                      "{\"online\":%1,\"data\":{\"s\":{\"map\":\"%2\",\"players\":\"%3\",\"playersmax\":\"%4\"}}}")
                      .arg(parts.value(0), parts.value(2), parts.value(1).section(QLatin1Char('/'), 0, 0),
                           parts.value(1).section(QLatin1Char('/'), 1, 1))
                      .toUtf8();
        }
        return reply;
    }
};

// A report as the tests name it: "Арена: Работает 3/16" for a first one,
// "Арена: Работает>Выключен 0/16" for an alert.
QString named(const StateChange &change)
{
    return QStringLiteral("%1: %2%3 %4")
        .arg(change.server, change.isAlert() ? change.from + QLatin1Char('>') : QString(), change.now.state,
             change.now.reached ? QStringLiteral("%1/%2").arg(change.now.players).arg(change.now.playersMax)
                                : QStringLiteral("-/-"));
}

} // namespace

class WatchRoundsTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir folder;
    std::unique_ptr<PlayedService> service;
    QString file;

    // The rounds of one watch and what they told.
    struct Watch
    {
        ServerStore store;
        QStringList warnings;
        WatchedServers servers;
        ServiceClient client;
        WatchRounds rounds;
        QStringList reports;
        QStringList unreachable;

        Watch(const QString &file, const QStringList &named, int intervalMsec, int timeoutMsec)
            : store(readStore(file))
            , servers(store, named, [this](const QString &line) { warnings << line; })
            , client(store.endpoint(), timeoutMsec)
            , rounds(servers, client, intervalMsec)
        {
            QObject::connect(&rounds, &WatchRounds::reported, [this](const StateChange &change) {
                QVERIFY(change.time.isValid());
                reports << ::named(change);
            });
            QObject::connect(&rounds, &WatchRounds::unreachable, [this](const QString &server, const QString &why) {
                unreachable << server + QStringLiteral(": ") + why;
            });
        }

        static ServerStore readStore(const QString &file)
        {
            ServerStore store(file);
            const QString failure = store.read();
            if (!failure.isEmpty())
                qWarning("%s", qPrintable(failure));
            return store;
        }
    };

    // The settings file: the played service and the servers, each with its
    // key. Its certificate is trusted as the system's authorities are.
    void writeSettings(const QStringList &servers)
    {
        QFile::remove(file);
        QSettings settings(file, QSettings::IniFormat);
        settings.setValue(QStringLiteral("Main/host"), QStringLiteral("127.0.0.1:%1").arg(service->server.port()));
        MachineCipher cipher;
        for (const QString &name : servers)
            settings.setValue(QStringLiteral("Servers/") + name, cipher.encipher(keyOf(name)));
        settings.setValue(QStringLiteral("Servers/") + Broken, QStringLiteral("not ours"));
    }

    void storeServer(const QString &name, bool stored)
    {
        QSettings settings(file, QSettings::IniFormat);
        if (stored)
            settings.setValue(QStringLiteral("Servers/") + name, MachineCipher().encipher(keyOf(name)));
        else
            settings.remove(QStringLiteral("Servers/") + name);
    }

    // Waits until the service was asked about the server `count` times more.
    bool roundsGoBy(const QString &server, int count)
    {
        const int until = service->askedAbout(server) + count;
        return QTest::qWaitFor([&] { return service->askedAbout(server) >= until; }, patienceMs);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(folder.isValid());
        file = folder.filePath(QStringLiteral("setting.ini"));
        // The test servers' certificate stands in for the system's
        // authorities, which take most of a second to read each time.
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setCaCertificates(QSslCertificate::fromPath(QStringLiteral(TEST_DATA_DIR "/localhost.crt")));
        QSslConfiguration::setDefaultConfiguration(tls);
    }

    void init()
    {
        if (!hasMachineKey())
            QSKIP("no network hardware address here, so no API key can be stored");
        service = std::make_unique<PlayedService>();
        QVERIFY(service->start());
        service->set(Fort, QStringLiteral("1 3/16 citadel"));
        service->set(Harbor, QStringLiteral("0 0/24 harbor_night"));
        service->set(Arena, QStringLiteral("1 7/10 salt_mine"));
        writeSettings({Fort, Harbor});
    }

    void cleanup() { service.reset(); }

    void firstStatesThenChanges()
    {
        Watch watch(file, {Fort, Harbor}, ShortRounds, patienceMs);
        watch.rounds.start();
        WAIT_COMPARE(watch.reports, QStringList({"Северный форт: Работает 3/16", "Ночная гавань: Выключен 0/24"}));

        service->set(Fort, QStringLiteral("0 0/16 citadel"));
        WAIT_COMPARE(watch.reports.value(2), QStringLiteral("Северный форт: Работает>Выключен 0/16"));
        service->set(Fort, QStringLiteral("2 0/16 citadel"));
        WAIT_COMPARE(watch.reports.value(3), QStringLiteral("Северный форт: Выключен>Запускается 0/16"));

        // Players come and go, the map changes: no alert.
        service->set(Harbor, QStringLiteral("0 5/24 lighthouse"));
        QVERIFY(roundsGoBy(Harbor, 3));
        QCOMPARE(watch.reports.size(), 4);
        QVERIFY(watch.unreachable.isEmpty());
        QVERIFY(watch.warnings.isEmpty());
    }

    void failuresInARowMakeNoContact_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("timeoutMsec");
        QTest::addColumn<QString>("why");
        QTest::newRow("HTTP 500") << "500" << patienceMs << "служба ответила с кодом HTTP 500";
        QTest::newRow("not JSON") << "html" << patienceMs << "служба ответила не объектом JSON";
        QTest::newRow("an error reported")
            << "error" << patienceMs << "служба отказала: Unknown API key (unknown_token)";
        QTest::newRow("no answer in time") << "silent" << 300 << "служба 127.0.0.1:%1 не ответила за 0.3 с";
    }

    void failuresInARowMakeNoContact()
    {
        QFETCH(QString, answer);
        QFETCH(int, timeoutMsec);
        QFETCH(QString, why);
        Watch watch(file, {Fort}, ShortRounds, timeoutMsec);
        int askedAtReport = 0;
        connect(&watch.rounds, &WatchRounds::reported, this, [&] { askedAtReport = service->askedAbout(Fort); });
        watch.rounds.start();
        WAIT_COMPARE(watch.reports.size(), 1);

        // One failure is no alert; the second in a row is.
        service->set(Fort, answer);
        const int before = service->askedAbout(Fort);
        WAIT_COMPARE(watch.reports.size(), 2);
        QCOMPARE(askedAtReport, before + 2);
        QCOMPARE(watch.reports.at(1), QStringLiteral("Северный форт: Работает>Нет связи -/-"));
        if (why.contains(QLatin1String("%1")))
            why = why.arg(service->server.port());
        QCOMPARE(watch.unreachable, QStringList {QStringLiteral("Северный форт: ") + why});

        // Said once however long it lasts, and back.
        QVERIFY(roundsGoBy(Fort, 2));
        QCOMPARE(watch.reports.size(), 2);
        service->set(Fort, QStringLiteral("1 2/16 citadel"));
        WAIT_COMPARE(watch.reports.value(2), QStringLiteral("Северный форт: Нет связи>Работает 2/16"));
        QCOMPARE(watch.unreachable.size(), 1);
    }

    void oneLostAnswerIsNoAlert()
    {
        Watch watch(file, {Fort}, ShortRounds, patienceMs);
        watch.rounds.start();
        WAIT_COMPARE(watch.reports.size(), 1);
        service->queue(Fort, {QStringLiteral("500")});
        QVERIFY(roundsGoBy(Fort, 3));
        service->queue(Fort, {QStringLiteral("html")});
        QVERIFY(roundsGoBy(Fort, 3));
        QCOMPARE(watch.reports, QStringList({"Северный форт: Работает 3/16"}));
        QVERIFY(watch.unreachable.isEmpty());
    }

    // Within the first round, which here is the only one: a server's first
    // query that fails is asked again at once.
    void aFirstFailureIsAskedAgainAtOnce_data()
    {
        QTest::addColumn<QStringList>("firstAnswers");
        QTest::addColumn<QString>("report");
        QTest::newRow("failing from the start") << QStringList {"500", "500"} << "Северный форт: Нет связи -/-";
        QTest::newRow("a first answer lost") << QStringList {"500"} << "Северный форт: Работает 3/16";
    }

    void aFirstFailureIsAskedAgainAtOnce()
    {
        QFETCH(QStringList, firstAnswers);
        QFETCH(QString, report);
        service->queue(Fort, firstAnswers);
        Watch watch(file, {}, 3600000, patienceMs);
        watch.rounds.start();
        WAIT_COMPARE(watch.reports.size(), 2);
        QCOMPARE(watch.reports, QStringList({"Ночная гавань: Выключен 0/24", report}));
        QCOMPARE(service->askedAbout(Fort), 2);
        QCOMPARE(service->askedAbout(Harbor), 1);
    }

    // With no server named, the file is read for each round.
    void followsTheFile()
    {
        Watch watch(file, {}, ShortRounds, patienceMs);
        QCOMPARE(watch.warnings,
                 QStringList {QStringLiteral("ключ API сервера «Сломанный» не читается на этом компьютере; добавьте "
                                             "его заново: valmora-ctl add \"Сломанный\"; этот сервер пропущен")});
        QVERIFY(watch.servers.problem().isEmpty());
        watch.rounds.start();
        WAIT_COMPARE(watch.reports.size(), 2);

        // A server added meanwhile: its first state, no alert.
        storeServer(Arena, true);
        WAIT_COMPARE(watch.reports.value(2), QStringLiteral("Арена: Работает 7/10"));

        // A server gone is asked about no more; back, it starts afresh.
        storeServer(Fort, false);
        QVERIFY(roundsGoBy(Arena, 2));
        const int asked = service->askedAbout(Fort);
        QVERIFY(roundsGoBy(Arena, 2));
        QCOMPARE(service->askedAbout(Fort), asked);
        service->set(Fort, QStringLiteral("0 0/16 citadel"));
        storeServer(Fort, true);
        WAIT_COMPARE(watch.reports.value(3), QStringLiteral("Северный форт: Выключен 0/16"));

        // A file that cannot be read for a while: the servers as they were, said once.
        QVERIFY(QFile::rename(file, file + QStringLiteral(".away")));
        QVERIFY(QDir().mkdir(file));
        QVERIFY(roundsGoBy(Arena, 3));
        QVERIFY(QDir().rmdir(file));
        QVERIFY(QFile::rename(file + QStringLiteral(".away"), file));
        QCOMPARE(watch.warnings.size(), 2);
        QCOMPARE(watch.warnings.at(1),
                 QStringLiteral("не удалось прочитать файл настроек %1; наблюдение идёт за прежним списком серверов")
                     .arg(file));
        service->set(Harbor, QStringLiteral("1 1/24 harbor_night"));
        WAIT_COMPARE(watch.reports.value(4), QStringLiteral("Ночная гавань: Выключен>Работает 1/24"));
        QCOMPARE(watch.reports.size(), 5);
        QCOMPARE(watch.warnings.size(), 2);
    }

    void namedServers_data()
    {
        QTest::addColumn<QStringList>("named");
        QTest::addColumn<QStringList>("watched");
        QTest::addColumn<QString>("problem");
        QTest::newRow("every stored server") << QStringList() << QStringList {Harbor, Fort} << "";
        QTest::newRow("one server") << QStringList {Fort} << QStringList {Fort} << "";
        QTest::newRow("in the order given, a name twice once")
            << QStringList {Fort, Harbor, Fort} << QStringList {Fort, Harbor} << "";
        QTest::newRow("unknown server") << QStringList {Fort, "Нет такого"} << QStringList()
                                        << "нет сервера «Нет такого»";
        QTest::newRow("a key that cannot be read")
            << QStringList {Broken} << QStringList()
            << "ключ API сервера «Сломанный» не читается на этом компьютере; добавьте его заново: "
               "valmora-ctl add \"Сломанный\"";
    }

    void namedServers()
    {
        QFETCH(QStringList, named);
        QFETCH(QStringList, watched);
        QFETCH(QString, problem);
        ServerStore store(file);
        QVERIFY(store.read().isEmpty());
        QStringList warnings;
        WatchedServers servers(store, named, [&warnings](const QString &line) { warnings << line; });
        QCOMPARE(servers.problem(), problem);
        if (!problem.isEmpty())
            return;
        QStringList names;
        for (const WatchedServers::Server &server : servers.forRound()) {
            names << server.name;
            QCOMPARE(server.apiKey, keyOf(server.name));
        }
        QCOMPARE(names, watched);
        QCOMPARE(warnings.size(), named.isEmpty() ? 1 : 0);
    }

    void noServerToWatch()
    {
        QFile::remove(file);
        QSettings(file, QSettings::IniFormat).setValue(QStringLiteral("Servers/") + Broken, QStringLiteral("not ours"));
        ServerStore store(file);
        QVERIFY(store.read().isEmpty());
        QStringList warnings;
        const WatchedServers servers(store, {}, [&warnings](const QString &line) { warnings << line; });
        QCOMPARE(warnings.size(), 1);
        QCOMPARE(servers.problem(),
                 QStringLiteral("нет серверов, за которыми можно следить: добавьте их "
                                "(valmora-ctl add СЕРВЕР) или в окне программы"));
    }
};

QTEST_GUILESS_MAIN(WatchRoundsTest)
#include "tst_watchrounds.moc"

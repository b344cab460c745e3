// valmora-ctl run as a user runs it: against the stand-in hosting service
// and an in-process test server over TLS with every certificate check on,
// beside the window on the same settings file.
//
// The stand-in service is started here unless VALMORA_TEST_SERVICE
// ("host:port") and VALMORA_TEST_SERVICE_CA (its certificate) name one
// that runs already.

#include "app/mainwindow.h"
#include "core/crypto/machinecipher.h"
#include "core/settings/settingslocation.h"
#include "demoservers.h"
#include "demosettings.h"
#include "machinekeycheck.h"
#include "patience.h"
#include "testservice.h"
#include "tlstestserver.h"

#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include "filemode.h"
#endif

namespace {

const QString HarborNight = QString::fromUtf8(DemoServers::HarborNight.name);
const QString PrivateClub = QString::fromUtf8(DemoServers::PrivateClub.name);
const QString NorthFort = QString::fromUtf8(DemoServers::NorthFort.name);
const QString NorthFortKey = QString::fromLatin1(DemoServers::NorthFort.apiKey);
const QString HarborNightKey = QString::fromLatin1(DemoServers::HarborNight.apiKey);

// The test server's key, with characters that must travel escaped.
const QString ClubKey = QStringLiteral("c7/Yp+2mQ/9eRt==");
const QByteArray ClubToken = "token=c7%2FYp%2B2mQ%2F9eRt%3D%3D";

const QString Greeting = QStringLiteral("say Привет & до встречи");

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QString err;

    QString text() const { return QString::fromUtf8(out); }
    QStringList lines() const { return text().split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
    // A failure: one line on standard error, nothing on standard output.
    bool failedWithOneLine() const
    {
        return exitCode > 0 && out.isEmpty() && err.startsWith(QStringLiteral("valmora-ctl: "))
            && err.count(QLatin1Char('\n')) == 1 && err.endsWith(QLatin1Char('\n'));
    }
};

QString describe(const Run &run)
{
    return QStringLiteral("exit %1, out «%2», err «%3»").arg(run.exitCode).arg(run.text(), run.err);
}

// A loopback port nothing listens on.
quint16 closedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

} // namespace

class CtlTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir folder;
    TestService service;
    QScopedPointer<TlsTestServer> testServer;

    QString settingsFile() const { return folder.filePath(QStringLiteral("setting.ini")); }

    // Runs valmora-ctl on the test's settings file, giving it `input` on
    // standard input. The event loop runs meanwhile, so the test server and
    // a window in this process go on working.
    Run ctl(const QStringList &arguments, const QByteArray &input = QByteArray(), const QString &settings = QString())
    {
        QProcess process;
        process.setProgram(QStringLiteral(CTL_EXECUTABLE));
        process.setArguments(QStringList {QStringLiteral("--settings"), settings.isEmpty() ? settingsFile() : settings}
                             + arguments);
        process.start();
        Run run;
        if (!process.waitForStarted(patienceMs))
            return run;
        process.write(input);
        process.closeWriteChannel();
        if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, patienceMs)
            || process.exitStatus() != QProcess::NormalExit)
            return run;
        run.exitCode = process.exitCode();
        run.out = process.readAllStandardOutput();
        run.err = QString::fromUtf8(process.readAllStandardError());
#ifdef Q_OS_WIN
        // Windows ends lines written as text with CR LF, the passed-through
        // JSON's too.
        run.out.replace("\r\n", "\n");
        run.err.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
#endif
        return run;
    }

    // A settings file naming the given service and servers (name, key).
    bool writeSettings(const QString &host, const QString &caCertificate, const QList<QPair<QString, QString>> &servers)
    {
        QFile::remove(settingsFile());
        QSettings settings(settingsFile(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("Main/host"), host);
        if (!caCertificate.isEmpty())
            settings.setValue(QStringLiteral("Main/cacert"), caCertificate);
        MachineCipher cipher;
        for (const auto &[name, key] : servers)
            settings.setValue(QStringLiteral("Servers/") + name, cipher.encipher(key));
        settings.sync();
        return settings.status() == QSettings::NoError;
    }

    // The stand-in service and its three servers.
    bool useService()
    {
        QFile::remove(settingsFile());
        return DemoSettings::write(settingsFile(), service.host(), service.certificatePath()).isEmpty();
    }

    // The in-process test server, answering every query with `reply`; the
    // settings name it and one server, "Клуб", with its key.
    bool useTestServer(const TlsTestReply &reply)
    {
        testServer.reset(new TlsTestServer);
        testServer->setHandler([reply](const QByteArray &) { return reply; });
        return testServer->start(QStringLiteral(TEST_DATA_DIR "/localhost.crt"),
                                 QStringLiteral(TEST_DATA_DIR "/localhost.key"))
            && writeSettings(QStringLiteral("127.0.0.1:%1").arg(testServer->port()),
                             QStringLiteral(TEST_DATA_DIR "/localhost.crt"), {{QStringLiteral("Клуб"), ClubKey}});
    }

    static QStringList serverNames(const MainWindow &window)
    {
        const auto *selector = window.findChild<QComboBox *>(QStringLiteral("comboBox"));
        QStringList names;
        for (int i = 0; i < selector->count(); ++i)
            names << selector->itemText(i);
        return names;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(folder.isValid());
        SettingsLocation::setFilePath(settingsFile());

        if (!TestService::isAvailable())
            QSKIP(TestService::unavailableText());
        const QString problem = service.open();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void cleanup()
    {
        testServer.reset();
    }

    void cleanupTestCase()
    {
        // One started here ends cleanly on SIGTERM; a named one runs on.
        QCOMPARE(service.close(), QString());
    }

    void helpAndVersionNeedNothingElse()
    {
        const Run version = ctl({QStringLiteral("--version")});
        QCOMPARE(version.exitCode, 0);
        QCOMPARE(version.text(), QStringLiteral("valmora-ctl 1.0\n"));

        const Run help = ctl({QStringLiteral("--help")});
        QCOMPARE(help.exitCode, 0);
        for (const char *word : {"list", "status SERVER", "resources SERVER", "maps SERVER", "start SERVER",
                                 "stop SERVER", "restart SERVER", "map SERVER MAP", "console SERVER WORD...",
                                 "add SERVER", "remove SERVER", "--json", "--timeout <SECONDS>", "Exit status"})
            QVERIFY2(help.text().contains(QLatin1String(word)), word);
        for (int code = 0; code <= 4; ++code)
            QVERIFY(help.text().contains(QStringLiteral("\n  %1  ").arg(code)));
        QVERIFY2(help.text().simplified().contains(QStringLiteral("In use now: ") + settingsFile()),
                 qPrintable(help.text()));
    }

    void commandLineMistakesExitWithTwo_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("named");
        QTest::newRow("unknown option") << QStringList {"--bogus", "list"} << "--bogus";
        QTest::newRow("no command") << QStringList {"--json"} << "команда";
        QTest::newRow("unknown command") << QStringList {"frobnicate"} << "frobnicate";
        QTest::newRow("missing server") << QStringList {"status"} << "SERVER";
        QTest::newRow("missing map") << QStringList {"map", "Клуб"} << "SERVER MAP";
        QTest::newRow("missing console words") << QStringList {"console", "Клуб"} << "WORD";
        QTest::newRow("extra argument") << QStringList {"maps", "Клуб", "more"} << "more";
        QTest::newRow("option after the command") << QStringList {"list", "--json"} << "--json";
        QTest::newRow("timeout of zero") << QStringList {"--timeout", "0", "list"} << "«0»";
        QTest::newRow("timeout not a number") << QStringList {"--timeout", "soon", "list"} << "«soon»";
        QTest::newRow("timeout without a value") << QStringList {"list", "--timeout"} << "--timeout";
        QTest::newRow("name with a slash") << QStringList {"add", "a/b"} << "«/»";
        QTest::newRow("empty name") << QStringList {"add", ""} << "пуст";
        QTest::newRow("watch: interval too short") << QStringList {"watch", "--interval", "4"} << "«4»";
    }

    void commandLineMistakesExitWithTwo()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, named);
        QVERIFY(writeSettings(QStringLiteral("127.0.0.1:%1").arg(closedPort()), QString(), {}));
        const Run run = ctl(arguments, "key\n");
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.failedWithOneLine() && run.err.contains(named), qPrintable(describe(run)));
        // Nothing was stored.
        QVERIFY(QSettings(settingsFile(), QSettings::IniFormat).childGroups().contains(QStringLiteral("Main")));
        QVERIFY(!QSettings(settingsFile(), QSettings::IniFormat).childGroups().contains(QStringLiteral("Servers")));
    }

    void listShowsTheStoredServersInTheWindowsOrder()
    {
        if (!hasMachineKey())
            QSKIP("no network hardware address here, so no API key can be stored");
        // By UTF-16 code units: "Ё" (U+0401) before "Е" (U+0415), capitals before small letters.
        QVERIFY(writeSettings(QStringLiteral("127.0.0.1:%1").arg(closedPort()), QString(),
                              {{"alpha", "k1"}, {"Ель", "k2"}, {"Zeta", "k3"}, {"Ёж", "k4"}}));
        {
            QSettings settings(settingsFile(), QSettings::IniFormat);
            settings.setValue(QStringLiteral("Servers/Broken"), QStringLiteral("not a record of ours"));
        }

        const Run text = ctl({QStringLiteral("list")});
        QCOMPARE(text.exitCode, 0);
        QCOMPARE(text.lines(), QStringList({"Broken\t(ключ API не читается)", "Zeta", "alpha", "Ёж", "Ель"}));

        const Run json = ctl({QStringLiteral("--json"), QStringLiteral("list")});
        QCOMPARE(json.exitCode, 0);
        const QJsonArray listed = QJsonDocument::fromJson(json.out).array();
        QCOMPARE(listed.size(), 5);
        QCOMPARE(listed.at(0).toObject(), QJsonObject({{"name", "Broken"}, {"key", false}}));
        QCOMPARE(listed.at(3).toObject(), QJsonObject({{"name", "Ёж"}, {"key", true}}));

        // The window lists them alike.
        const MainWindow window;
        QCOMPARE(serverNames(window), QStringList({"Broken", "Zeta", "alpha", "Ёж", "Ель"}));

        // No file: no servers, and no file is made for reading.
        const QString missing = folder.filePath(QStringLiteral("none/setting.ini"));
        const Run none = ctl({QStringLiteral("list")}, QByteArray(), missing);
        QCOMPARE(none.exitCode, 0);
        QVERIFY(none.out.isEmpty());
        QVERIFY(!QFileInfo::exists(QFileInfo(missing).path()));
    }

    void queriesShowWhatTheServiceSays()
    {
        if (!hasMachineKey())
            QSKIP("no network hardware address here, so no API key can be stored");
        QVERIFY(useService());

        // A running server with a password and players on it.
        const Run running = ctl({QStringLiteral("status"), PrivateClub});
        QVERIFY2(running.exitCode == 0, qPrintable(describe(running)));
        const QStringList lines = running.lines();
        QCOMPARE(lines.mid(0, 4),
                 QStringList({"Работает", "Сервер: Закрытый клуб", "Адрес: 203.0.113.37:27300", "Карта: citadel"}));
        QCOMPARE(lines.value(5), QStringLiteral("Сервер защищен паролем"));
        const QStringList players = lines.mid(6);
        QVERIFY(!players.isEmpty());
        QCOMPARE(lines.value(4), QStringLiteral("Игроки: %1/10").arg(players.size()));
        for (const QString &player : players)
            QVERIFY2(player.split(QLatin1Char('\t')).size() == 3, qPrintable(player));

        // A switched-off one.
        const Run off = ctl({QStringLiteral("status"), HarborNight});
        QCOMPARE(off.exitCode, 1);
        QCOMPARE(off.lines(),
                 QStringList({"Выключен", "Сервер: Ночная гавань", "Адрес: 203.0.113.24:27200", "Карта: harbor_night",
                              "Игроки: 0/24"}));

        const Run resources = ctl({QStringLiteral("resources"), HarborNight});
        QCOMPARE(resources.exitCode, 0);
        QCOMPARE(resources.lines().size(), 4);
        QVERIFY(resources.lines().at(0).startsWith(QStringLiteral("Процессор: ")));
        QVERIFY(resources.lines().at(1).endsWith(QStringLiteral(" из 2048 MB)")));
        QCOMPARE(resources.lines().at(2), QStringLiteral("Игроки: 0% (0 из 24)"));
        QCOMPARE(resources.lines().at(3), QStringLiteral("Диск: 29% (6120 MB из 20480 MB)"));

        const Run maps = ctl({QStringLiteral("maps"), PrivateClub});
        QCOMPARE(maps.exitCode, 0);
        QCOMPARE(maps.text(), QStringLiteral("citadel\nglass_garden\nsalt_mine\ncitadel_night\n"));
    }

    void actionsChangeTheServer()
    {
        if (!hasMachineKey())
            QSKIP("no network hardware address here, so no API key can be stored");
        QVERIFY(useService());
        const auto state = [this] { return ctl({QStringLiteral("status"), NorthFort}); };
        const auto becomesRunning = [&] { return QTest::qWaitFor([&] { return state().exitCode == 0; }, patienceMs); };
        QVERIFY(becomesRunning());

        const Run stop = ctl({QStringLiteral("stop"), NorthFort});
        QCOMPARE(stop.exitCode, 0);
        QCOMPARE(stop.text(), QStringLiteral("The server has been stopped\n"));
        const Run off = state();
        QCOMPARE(off.exitCode, 1);
        QCOMPARE(off.lines().value(0), QStringLiteral("Выключен"));

        // The service refuses: no second stop.
        const Run again = ctl({QStringLiteral("stop"), NorthFort});
        QCOMPARE(again.exitCode, 3);
        QVERIFY2(again.failedWithOneLine() && again.err.contains(QStringLiteral("already off")),
                 qPrintable(describe(again)));

        // How a starting server is shown: statusWordsTheState.
        QCOMPARE(ctl({QStringLiteral("start"), NorthFort}).exitCode, 0);
        QVERIFY(becomesRunning());

        const Run map = ctl({QStringLiteral("map"), NorthFort, QStringLiteral("frozen_lake")});
        QCOMPARE(map.exitCode, 0);
        QCOMPARE(map.text(), QStringLiteral("Map changed to frozen_lake\n"));
        QCOMPARE(state().lines().value(3), QStringLiteral("Карта: frozen_lake"));

        // Words joined by single spaces into one command, Cyrillic and "&" intact.
        const Run say = ctl({QStringLiteral("console"), NorthFort, QStringLiteral("say"), QStringLiteral("Привет"),
                             QStringLiteral("&"), QStringLiteral("до встречи")});
        QCOMPARE(say.exitCode, 0);
        QCOMPARE(say.text(), QStringLiteral("Console: Привет & до встречи\n"));

        QCOMPARE(ctl({QStringLiteral("restart"), NorthFort}).exitCode, 0);
        QVERIFY(becomesRunning());
    }

    // The requests are the window's, byte for byte.
    void requestsAreTheWindowsOwn()
    {
        if (!hasMachineKey())
            QSKIP("no network hardware address here, so no API key can be stored");
        TlsTestReply reply;
        reply.body = R"({"result":"ok","message":"done","maps":["карта 2"]})";
        QVERIFY(useTestServer(reply));

        const QString club = QStringLiteral("Клуб");
        const QList<QStringList> commands = {
            {"status", club},         {"resources", club},
            {"maps", club},           {"start", club},
            {"stop", club},           {"restart", club},
            {"map", club, "карта 2"}, {"console", club, "say", "Привет", "&", "до", "встречи"},
        };
        for (const QStringList &command : commands)
            QCOMPARE(ctl(command).exitCode, command.constFirst() == QLatin1String("status") ? 1 : 0);

        const QByteArray api = "/api.php?" + ClubToken + "&query=";
        const QList<QByteArray> sent = testServer->targets();
        QCOMPARE(sent,
                 QList<QByteArray>({
                     api + "status",
                     api + "getresources",
                     api + "getmaps",
                     api + "start",
                     api + "stop",
                     api + "restart",
                     api + "changelevel&map=%D0%BA%D0%B0%D1%80%D1%82%D0%B0%202",
                     api
                         + "consolecmd&cmd=say%20%D0%9F%D1%80%D0%B8%D0%B2%D0%B5%D1%82%20%26%20%D0%B4%D0%BE%20"
                           "%D0%B2%D1%81%D1%82%D1%80%D0%B5%D1%87%D0%B8",
                 }));
        for (const QByteArray &line : testServer->requestLines())
            QVERIFY2(line.startsWith("GET /api.php?") && line.endsWith(" HTTP/1.1"), line.constData());

        // The window sends the same: its full update, a map change and the command.
        MainWindow window;
        QTRY_COMPARE_WITH_TIMEOUT(testServer->targets().size(), sent.size() + 3, patienceMs);
        QCOMPARE(testServer->targets().mid(sent.size()), sent.mid(0, 3));
        QTRY_COMPARE_WITH_TIMEOUT(window.findChild<QComboBox *>(QStringLiteral("comboBox_2"))->count(), 1, patienceMs);
        window.findChild<QPushButton *>(QStringLiteral("pushButton_8"))->click();
        window.findChild<QComboBox *>(QStringLiteral("comboBox_3"))->setEditText(Greeting);
        window.findChild<QPushButton *>(QStringLiteral("pushButton_10"))->click();
        QTRY_COMPARE_WITH_TIMEOUT(testServer->targets().size(), sent.size() + 5, patienceMs);
        QCOMPARE(testServer->targets().mid(sent.size() + 3), sent.mid(6));
    }

    // The state's word, and whether it counts as running.
    void statusWordsTheState_data()
    {
        QTest::addColumn<int>("online");
        QTest::addColumn<QString>("word");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("off") << 0 << "Выключен" << 1;
        QTest::newRow("running") << 1 << "Работает" << 0;
        QTest::newRow("starting") << 2 << "Запускается" << 1;
        QTest::newRow("a state not known") << 7 << "Состояние неизвестно" << 1;
    }

    void statusWordsTheState()
    {
        QFETCH(int, online);
        QFETCH(QString, word);
        QFETCH(int, exitCode);
        if (!hasMachineKey())
            QSKIP("no network hardware address here, so no API key can be stored");
        TlsTestReply reply;
        reply.body = QStringLiteral("{\"online\":%1,\"data\":{\"s\":{\"name\":\"Клуб\",\"map\":\"citadel\","
                                    "\"players\":\"0\",\"playersmax\":\"8\"}}}")
                         .arg(online)
                         .toUtf8();
        QVERIFY(useTestServer(reply));
        const Run status = ctl({QStringLiteral("status"), QStringLiteral("Клуб")});
        QCOMPARE(status.exitCode, exitCode);
        QCOMPARE(status.lines().value(0), word);
        QCOMPARE(status.lines().value(3), QStringLiteral("Карта: citadel"));
        QVERIFY(status.err.isEmpty());
    }

    void jsonPassesTheReplyThrough()
    {
        if (!hasMachineKey())
            QSKIP("no network hardware address here, so no API key can be stored");
        TlsTestReply reply;
        reply.body = "{ \"online\" : 2,\n  \"data\": {\"s\": {\"name\": \"Клуб\"}}, \"x\": [1.50, \"\\u00e9\"] }";
        QVERIFY(useTestServer(reply));

        // Starting counts as not running, with --json too.
        const Run status = ctl({QStringLiteral("--json"), QStringLiteral("status"), QStringLiteral("Клуб")});
        QCOMPARE(status.exitCode, 1);
        QCOMPARE(status.out, reply.body);
        QVERIFY(status.err.isEmpty());

        const Run say = ctl(
            {QStringLiteral("--json"), QStringLiteral("console"), QStringLiteral("Клуб"), QStringLiteral("users")});
        QCOMPARE(say.exitCode, 0);
        QCOMPARE(say.out, reply.body);
    }

    void failuresExitWithTheirCodes_data()
    {
        QTest::addColumn<QString>("setUp");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("named");
        const QString club = QStringLiteral("Клуб");
        QTest::newRow("unknown server") << "test server" << QStringList {"status", "Нет такого"} << 4
                                        << "нет сервера «Нет такого»";
        QTest::newRow("key unreadable") << "unreadable key" << QStringList {"status", club} << 4 << "не читается";
        QTest::newRow("settings file unreadable")
            << "folder as settings" << QStringList {"list"} << 4 << "файл настроек";
        QTest::newRow("remove unknown") << "test server" << QStringList {"remove", "Нет такого"} << 4
                                        << "нет сервера «Нет такого»";
        QTest::newRow("watch unknown server")
            << "test server" << QStringList {"watch", club, "Нет такого"} << 4 << "нет сервера «Нет такого»";
        QTest::newRow("closed port") << "closed port" << QStringList {"status", club} << 3 << "не удалось связаться";
        QTest::newRow("system authorities only")
            << "service, no cacert" << QStringList {"status", PrivateClub} << 3 << "сертификат";
        QTest::newRow("another certificate")
            << "service, other cacert" << QStringList {"status", PrivateClub} << 3 << "сертификат";
        QTest::newRow("no answer in time")
            << "silent" << QStringList {"--timeout", "0.5", "maps", club} << 3 << "не ответила за 0.5 с";
        QTest::newRow("HTTP 500") << "500" << QStringList {"maps", club} << 3 << "HTTP 500";
        QTest::newRow("not JSON") << "html" << QStringList {"maps", club} << 3 << "не объектом JSON";
        QTest::newRow("JSON but no object")
            << "array" << QStringList {"--json", "maps", club} << 3 << "не объектом JSON";
        QTest::newRow("error reported") << "error" << QStringList {"start", club} << 3 << "Unknown API key";
    }

    void failuresExitWithTheirCodes()
    {
        QFETCH(QString, setUp);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, named);
        if (!hasMachineKey())
            QSKIP("no network hardware address here, so no API key can be stored");

        TlsTestReply reply;
        reply.body = R"({"maps":[]})";
        QString settings;
        if (setUp == QLatin1String("silent")) {
            reply.silent = true;
        } else if (setUp == QLatin1String("500")) {
            reply.status = 500;
            reply.body = R"({"maps":["a"]})";
        } else if (setUp == QLatin1String("html")) {
            reply.body = "<html>busy</html>";
        } else if (setUp == QLatin1String("array")) {
            reply.body = "[\"a\"]";
        } else if (setUp == QLatin1String("error")) {
            reply.body = R"({"result":"error","error":"unknown_token","message":"Unknown API key"})";
        }
        QVERIFY(useTestServer(reply));

        if (setUp == QLatin1String("unreadable key")) {
            QSettings(settingsFile(), QSettings::IniFormat).setValue(QStringLiteral("Servers/Клуб"), "not ours");
        } else if (setUp == QLatin1String("folder as settings")) {
            settings = folder.path();
        } else if (setUp == QLatin1String("closed port")) {
            QSettings(settingsFile(), QSettings::IniFormat)
                .setValue(QStringLiteral("Main/host"), QStringLiteral("127.0.0.1:%1").arg(closedPort()));
        } else if (setUp.startsWith(QLatin1String("service"))) {
            QVERIFY(useService());
            QSettings file(settingsFile(), QSettings::IniFormat);
            if (setUp.endsWith(QLatin1String("no cacert")))
                file.remove(QStringLiteral("Main/cacert"));
            else
                file.setValue(QStringLiteral("Main/cacert"), QStringLiteral(TEST_DATA_DIR "/untrusted.crt"));
        }

        const QByteArray before = [this] {
            QFile file(settingsFile());
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }();
        const Run run = ctl(arguments, QByteArray(), settings);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.failedWithOneLine() && run.err.contains(named), qPrintable(describe(run)));
        QFile after(settingsFile());
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), before);
    }

    // A key given on standard input is stored so that the window reads it.
    void addStoresAKeyTheWindowReads()
    {
        if (!hasMachineKey())
            QSKIP("no network hardware address here, so no API key can be stored");
        QVERIFY(useService());
        const QString mine = QStringLiteral("Мой форт");

        const Run added = ctl({QStringLiteral("add"), mine}, NorthFortKey.toLatin1() + "\nignored\n");
        QVERIFY2(added.exitCode == 0, qPrintable(describe(added)));
        QCOMPARE(added.text(), QStringLiteral("Сервер «Мой форт» добавлен.\n"));
        {
            // Closed again before the window saves: Windows replaces no file
            // that another program holds open.
            QFile stored(settingsFile());
            QVERIFY(stored.open(QIODevice::ReadOnly));
            QVERIFY2(!stored.readAll().contains(NorthFortKey.toLatin1()), "stored in the clear");
        }
#ifdef Q_OS_UNIX
        QCOMPARE(fileMode(settingsFile()), 0600);
#endif
        {
            MainWindow window;
            auto *selector = window.findChild<QComboBox *>(QStringLiteral("comboBox"));
            selector->setCurrentIndex(selector->findText(mine));
            QTRY_COMPARE_WITH_TIMEOUT(window.findChild<QLabel *>(QStringLiteral("label"))->text(), NorthFort,
                                      patienceMs);
        }

        // Again: the key is replaced; a line end of Windows is no part of it.
        const Run replaced = ctl({QStringLiteral("add"), mine}, HarborNightKey.toLatin1() + "\r\n");
        QCOMPARE(replaced.exitCode, 0);
        QCOMPARE(replaced.text(), QStringLiteral("Ключ сервера «Мой форт» заменён.\n"));
        QCOMPARE(ctl({QStringLiteral("status"), mine}).lines().value(1), QStringLiteral("Сервер: Ночная гавань"));

        const Run noKey = ctl({QStringLiteral("add"), QStringLiteral("Пустой")}, "\n");
        QCOMPARE(noKey.exitCode, 2);
        QVERIFY2(noKey.failedWithOneLine(), qPrintable(describe(noKey)));

        const Run removed = ctl({QStringLiteral("remove"), mine});
        QCOMPARE(removed.exitCode, 0);
        QCOMPARE(ctl({QStringLiteral("list")}).lines(), QStringList({PrivateClub, HarborNight, NorthFort}));
        QCOMPARE(ctl({QStringLiteral("remove"), mine}).exitCode, 4);
    }

    // A running window follows what the tool changes, and its own saves keep it.
    void runningWindowFollowsTheTool()
    {
        if (!hasMachineKey())
            QSKIP("no network hardware address here, so no API key can be stored");
        QVERIFY(useService());
        MainWindow window;
        const QString arena = QStringLiteral("Арена");

        QCOMPARE(ctl({QStringLiteral("add"), arena}, NorthFortKey.toLatin1() + '\n').exitCode, 0);
        QTRY_VERIFY_WITH_TIMEOUT(serverNames(window).contains(arena), 5000);
        QCOMPARE(ctl({QStringLiteral("remove"), HarborNight}).exitCode, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!serverNames(window).contains(HarborNight), 5000);
        QCOMPARE(serverNames(window), QStringList({arena, PrivateClub, NorthFort}));

        window.addServer(QStringLiteral("Новый"), QStringLiteral("new-key"));
        QCOMPARE(ctl({QStringLiteral("list")}).lines(),
                 QStringList({arena, PrivateClub, QStringLiteral("Новый"), NorthFort}));
    }
};

QTEST_MAIN(CtlTest)
#include "tst_ctl.moc"

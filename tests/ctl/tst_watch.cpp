// valmora-ctl watch run as a user runs it, once: against the stand-in
// hosting service over TLS, through a relay the test cuts to make an
// outage, with its alerts posted to HTTPS webhook receivers in the test and
// a command that records what it was given. Its rules are tested in
// process (tst_watchrounds, tst_alerts, tst_alertdelivery,
// tst_ctlcommandline).
//
// The stand-in service is started here unless VALMORA_TEST_SERVICE
// ("host:port") and VALMORA_TEST_SERVICE_CA (its certificate) name one
// that runs already; its servers must start at once (--start-delay-ms 0).
//
// The test program is also the alert command: started with
// --record-alert FILE it appends the VALMORA_ variables it was given to
// FILE.

#include "alertrecord.h"
#include "core/crypto/machinecipher.h"
#include "demoservers.h"
#include "demosettings.h"
#include "machinekeycheck.h"
#include "patience.h"
#include "tcprelay.h"
#include "testservice.h"
#include "tlstestserver.h"
#include "watchend.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

namespace {

const QString NorthFort = QString::fromUtf8(DemoServers::NorthFort.name);
const QString HarborNight = QString::fromUtf8(DemoServers::HarborNight.name);
const QString PrivateClub = QString::fromUtf8(DemoServers::PrivateClub.name);
const QString Unreadable = QStringLiteral("Сломанный");
// A name that would run a command of its own if it were put into one.
const QString Injection = QStringLiteral("a\"; touch x; echo \"");
const QString NorthFortKey = QString::fromLatin1(DemoServers::NorthFort.apiKey);

const QString Running = QStringLiteral("Работает");
const QString Off = QStringLiteral("Выключен");
const QString NoContact = QStringLiteral("Нет связи");

using AlertRecord::quoted;

bool isIsoTimeWithOffset(const QString &text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$"));
    return pattern.match(text).hasMatch();
}

// A valmora-ctl watch process and everything it has written so far.
class Watcher
{
public:
    QProcess process;
    QByteArray out;
    QString err;

    Watcher()
    {
        QObject::connect(&process, &QProcess::readyReadStandardOutput, [this] {
            out += process.readAllStandardOutput();
            out.replace("\r\n", "\n");
        });
        QObject::connect(&process, &QProcess::readyReadStandardError, [this] {
            err += QString::fromUtf8(process.readAllStandardError());
            err.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        });
    }

    ~Watcher()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(patienceMs);
        }
    }

    Watcher(const Watcher &) = delete;
    Watcher &operator=(const Watcher &) = delete;

    QStringList lines() const { return QString::fromUtf8(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
    // Its lines split at tabs, those of the given number of fields only.
    QList<QStringList> fields(int count) const
    {
        QList<QStringList> found;
        for (const QString &line : lines()) {
            const QStringList parts = line.split(QLatin1Char('\t'));
            if (parts.size() == count)
                found << parts;
        }
        return found;
    }
    QList<QJsonObject> objects() const
    {
        QList<QJsonObject> found;
        for (const QString &line : lines())
            found << QJsonDocument::fromJson(line.toUtf8()).object();
        return found;
    }
    // The alerts' lines: time, server, from, to, players.
    QList<QStringList> alerts() const { return fields(5); }
    QList<QStringList> alertsFor(const QString &server) const
    {
        QList<QStringList> found;
        for (const QStringList &alert : alerts()) {
            if (alert.at(1) == server)
                found << alert;
        }
        return found;
    }
    QString describe() const { return QStringLiteral("out «%1», err «%2»").arg(QString::fromUtf8(out), err); }
};

// A server's alerts as "from>to" words.
QStringList steps(const QList<QStringList> &alerts)
{
    QStringList found;
    for (const QStringList &alert : alerts)
        found << alert.at(2) + QLatin1Char('>') + alert.at(3);
    return found;
}

} // namespace

class WatchTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir folder;
    TestService service;

    QString path(const QString &name) const { return folder.filePath(name); }

    // The service's certificate and the webhook receivers', as `cacert`.
    bool writeAuthorities()
    {
        QFile out(path(QStringLiteral("authorities.pem")));
        QFile own(service.certificatePath());
        QFile receivers(QStringLiteral(TEST_DATA_DIR "/localhost.crt"));
        return out.open(QIODevice::WriteOnly) && own.open(QIODevice::ReadOnly) && receivers.open(QIODevice::ReadOnly)
            && out.write(own.readAll() + '\n' + receivers.readAll()) > 0;
    }

    // The stand-in service's three servers, reached at `host`, and more
    // servers (name -> stored record, enciphered unless given as is).
    bool writeSettings(const QString &file, const QString &host, const QList<QPair<QString, QString>> &more = {})
    {
        QFile::remove(file);
        if (!DemoSettings::write(file, host, path(QStringLiteral("authorities.pem"))).isEmpty())
            return false;
        QSettings settings(file, QSettings::IniFormat);
        for (const auto &[name, record] : more)
            settings.setValue(QStringLiteral("Servers/") + name, record);
        settings.sync();
        return settings.status() == QSettings::NoError;
    }

    int ctl(const QString &settings, const QStringList &arguments, const QByteArray &input = QByteArray())
    {
        QProcess process;
        process.start(QStringLiteral(CTL_EXECUTABLE), QStringList {QStringLiteral("--settings"), settings} + arguments);
        if (!process.waitForStarted(patienceMs))
            return -1;
        process.write(input);
        process.closeWriteChannel();
        if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, patienceMs))
            return -1;
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    void startWatch(Watcher &watcher, const QString &program, const QString &settings, const QStringList &options,
                    const QStringList &arguments, const QProcessEnvironment &environment)
    {
        watcher.process.setWorkingDirectory(folder.path());
        watcher.process.setProcessEnvironment(environment);
        watcher.process.start(
            program,
            QStringList {QStringLiteral("--settings"), settings} + options
                + QStringList {QStringLiteral("watch"), QStringLiteral("--interval"), QStringLiteral("5")} + arguments);
    }

    static void stopWatch(Watcher &watcher) { QVERIFY(endWatch(watcher.process)); }

    static QByteArray contents(const QString &file)
    {
        QFile read(file);
        return read.open(QIODevice::ReadOnly) ? read.readAll() : QByteArray();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(folder.isValid());
        if (!TestService::isAvailable())
            QSKIP(TestService::unavailableText());
        // Its servers start at once (a named one must too).
        const QString problem = service.open();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QVERIFY(writeAuthorities());
    }

    void cleanupTestCase()
    {
        // One started here ends cleanly on SIGTERM; a named one runs on.
        QCOMPARE(service.close(), QString());
    }

    // A stop and a start seen by a watch of one server, an outage by a
    // watch of every stored server, in the same two rounds.
    void alertsGoOutThreeWays()
    {
        if (!hasMachineKey())
            QSKIP("no network hardware address here, so no API key can be stored");

        // North Fort runs, as a run of this test before may have left it off.
        const QString direct = path(QStringLiteral("direct.ini"));
        QVERIFY(writeSettings(direct, service.host()));
        if (ctl(direct, {QStringLiteral("status"), NorthFort}) != 0) {
            ctl(direct, {QStringLiteral("start"), NorthFort});
            QTRY_COMPARE_WITH_TIMEOUT(ctl(direct, {QStringLiteral("status"), NorthFort}), 0, patienceMs);
        }

        TcpRelay relay(quint16(service.host().section(QLatin1Char(':'), -1).toUInt()));
        QVERIFY(relay.listen());
        const QString all = path(QStringLiteral("all.ini"));
        MachineCipher cipher;
        QVERIFY(writeSettings(all, QStringLiteral("127.0.0.1:%1").arg(relay.port()),
                              {{Injection, cipher.encipher(NorthFortKey)}, {Unreadable, QStringLiteral("not ours")}}));
        const QByteArray settingsBefore = contents(all);

        TlsTestServer receiver;
        TlsTestReply accepted;
        accepted.body = "ok";
        receiver.setHandler([accepted](const QByteArray &) { return accepted; });
        QVERIFY(receiver.start(QStringLiteral(TEST_DATA_DIR "/localhost.crt"),
                               QStringLiteral(TEST_DATA_DIR "/localhost.key")));
        TlsTestServer failing;
        TlsTestReply broken;
        broken.status = 500;
        broken.body = "{}";
        failing.setHandler([broken](const QByteArray &) { return broken; });
        QVERIFY(failing.start(QStringLiteral(TEST_DATA_DIR "/localhost.crt"),
                              QStringLiteral(TEST_DATA_DIR "/localhost.key")));

        const QString record = path(QStringLiteral("alerts.jsonl"));
        const QString recordOne = path(QStringLiteral("alerts-one.jsonl"));
        QFile::remove(record);
        QFile::remove(recordOne);
        const QString self = QCoreApplication::applicationFilePath();
        const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();

        // Every server, its alerts through a command and to a webhook given as an option.
        Watcher everything;
        startWatch(everything, QStringLiteral(CTL_EXECUTABLE), all, {},
                   {QStringLiteral("--exec"), quoted(self) + QStringLiteral(" --record-alert ") + quoted(record),
                    QStringLiteral("--webhook"),
                    QStringLiteral("https://127.0.0.1:%1/hook/SECRET?thread=1").arg(receiver.port())},
                   environment);
        // One server, in JSON; a webhook from the environment that fails. On
        // Windows the windowless twin, as a task at logon runs it.
        Watcher one;
        QProcessEnvironment withWebhook = environment;
        withWebhook.insert(QStringLiteral("VALMORA_WEBHOOK"),
                           QStringLiteral("https://localhost:%1/SECRET/path").arg(failing.port()));
        startWatch(one, QStringLiteral(CTL_WINDOWLESS_EXECUTABLE), direct, {QStringLiteral("--json")},
                   {QStringLiteral("--exec"), quoted(self) + QStringLiteral(" --record-alert ") + quoted(recordOne),
                    NorthFort},
                   withWebhook);

        // At the start: one line per server, no alert.
        QTRY_VERIFY2_WITH_TIMEOUT(everything.fields(4).size() == 4, qPrintable(everything.describe()), patienceMs);
        QTRY_VERIFY2_WITH_TIMEOUT(one.lines().size() == 1, qPrintable(one.describe()), patienceMs);

#ifdef Q_OS_WIN
        // Under Wine a relay in this process does not drop the connections
        // it cuts: the watch goes on being answered. The outage is left to
        // the Linux build (the Windows build, watched by hand under Wine
        // while the service was stopped and started again, alerted alike).
        const bool cutRelay = false;
        qInfo("the outage is not tested under Wine");
#else
        const bool cutRelay = true;
#endif
        // Cut right after the first round: the next one fails, which is no
        // alert yet, and the one after it makes every server "Нет связи".
        if (cutRelay)
            relay.cut();
        QCOMPARE(ctl(direct, {QStringLiteral("stop"), NorthFort}), 0);

        const QList<QStringList> first = everything.fields(4);
        QCOMPARE(first.size(), 4);
        QCOMPARE(everything.lines().size(), 4);
        for (const QStringList &line : first)
            QVERIFY2(isIsoTimeWithOffset(line.at(0)), qPrintable(line.at(0)));
        QCOMPARE(first.at(0).mid(1, 2), QStringList({Injection, Running}));
        QCOMPARE(first.at(1).mid(1, 2), QStringList({PrivateClub, Running}));
        QCOMPARE(first.at(2).mid(1), QStringList({HarborNight, Off, "0/24"}));
        QCOMPARE(first.at(3).mid(1, 2), QStringList({NorthFort, Running}));
        const QJsonObject started = one.objects().value(0);
        QCOMPARE(started.value("server").toString(), NorthFort);
        QCOMPARE(started.value("state").toString(), Running);
        QCOMPARE(started.value("players_max").toInt(), 16);
        QVERIFY(!started.contains("from"));
        // The server whose key cannot be read is skipped, said once.
        QCOMPARE(everything.err.count(QStringLiteral("«%1»").arg(Unreadable)), 1);

        // The stop, then a start.
        QTRY_VERIFY2_WITH_TIMEOUT(one.lines().size() == 2, qPrintable(one.describe()), patienceMs);
        QCOMPARE(ctl(direct, {QStringLiteral("start"), NorthFort}), 0);
        QTRY_VERIFY2_WITH_TIMEOUT(one.lines().size() == 3, qPrintable(one.describe()), patienceMs);
        const QList<QJsonObject> objects = one.objects();
        for (const QJsonObject &alert : objects.mid(1)) {
            QCOMPARE(alert.keys(), QStringList({"from", "map", "players", "players_max", "server", "time", "to"}));
            QVERIFY(isIsoTimeWithOffset(alert.value("time").toString()));
        }
        QCOMPARE(objects.at(1).value("from").toString(), Running);
        QCOMPARE(objects.at(1).value("to").toString(), Off);
        QCOMPARE(objects.at(1).value("players").toInt(), 0);
        QCOMPARE(objects.at(2).value("from").toString(), Off);
        QCOMPARE(objects.at(2).value("to").toString(), Running);

        // Every server "Нет связи"; without the cut, the stop and the start.
        QTRY_VERIFY2_WITH_TIMEOUT(everything.alerts().size() == 4, qPrintable(everything.describe()), patienceMs);
        const QStringList stopStart {"Работает>Выключен", "Выключен>Работает"};
        if (cutRelay) {
            const QStringList outage {"Работает>Нет связи"};
            QCOMPARE(steps(everything.alertsFor(NorthFort)), outage);
            QCOMPARE(steps(everything.alertsFor(Injection)), outage);
            QCOMPARE(steps(everything.alertsFor(PrivateClub)), outage);
            QCOMPARE(steps(everything.alertsFor(HarborNight)), QStringList({"Выключен>Нет связи"}));
            QCOMPARE(everything.alertsFor(HarborNight).value(0).value(4), QStringLiteral("-/-"));
            // Why: the service at the relay's address could not be reached.
            QVERIFY2(everything.err.contains(QStringLiteral("службой 127.0.0.1:%1").arg(relay.port())),
                     qPrintable(everything.err));
        } else {
            QCOMPARE(steps(everything.alertsFor(NorthFort)), stopStart);
            QCOMPARE(steps(everything.alertsFor(Injection)), stopStart);
            QCOMPARE(everything.alertsFor(NorthFort).value(0).mid(2), QStringList({Running, Off, "0/16"}));
        }

        // The webhook got each alert once: its sentence and its fields.
        const QList<QStringList> alerts = everything.alerts();
        QTRY_COMPARE_WITH_TIMEOUT(receiver.bodies().size(), alerts.size(), patienceMs);
        QHash<QString, QJsonObject> posted; // by time, server, from and to
        for (int i = 0; i < receiver.bodies().size(); ++i) {
            QCOMPARE(receiver.requestLines().at(i), QByteArray("POST /hook/SECRET?thread=1 HTTP/1.1"));
            QCOMPARE(receiver.contentTypes().at(i), QByteArray("application/json"));
            const QJsonObject body = QJsonDocument::fromJson(receiver.bodies().at(i)).object();
            QCOMPARE(body.keys(),
                     QStringList({"content", "from", "map", "players", "players_max", "server", "text", "time", "to"}));
            QCOMPARE(body.value("content"), body.value("text"));
            posted.insert(QStringList {body.value("time").toString(), body.value("server").toString(),
                                       body.value("from").toString(), body.value("to").toString()}
                              .join(QLatin1Char('|')),
                          body);
        }
        QCOMPARE(posted.size(), alerts.size());
        for (const QStringList &alert : alerts) {
            const QJsonObject body = posted.value(alert.mid(0, 4).join(QLatin1Char('|')));
            QVERIFY2(!body.isEmpty(), qPrintable(alert.join(QLatin1Char(' '))));
            QString sentence = QStringLiteral("«%1»: %2 → %3").arg(alert.at(1), alert.at(2), alert.at(3));
            if (alert.at(3) == NoContact) {
                QVERIFY(body.value("players").isNull() && body.value("players_max").isNull()
                        && body.value("map").isNull());
            } else {
                const QString players
                    = QStringLiteral("%1/%2").arg(body.value("players").toInt()).arg(body.value("players_max").toInt());
                QCOMPARE(alert.at(4), players);
                QVERIFY(!body.value("map").toString().isEmpty());
                sentence += QStringLiteral(", игроков ") + players;
            }
            QCOMPARE(body.value("text").toString(), sentence);
        }

        // The command got each alert once, in its environment only.
        QTRY_COMPARE_WITH_TIMEOUT(QString::fromUtf8(contents(record)).count(QLatin1Char('\n')), alerts.size(),
                                  patienceMs);
        QSet<QString> recorded;
        for (const QByteArray &line : contents(record).split('\n')) {
            const QJsonObject given = QJsonDocument::fromJson(line).object();
            if (given.isEmpty())
                continue;
            QStringList values;
            for (const char *name : AlertRecord::variables)
                values << given.value(QLatin1String(name)).toString();
            recorded << values.join(QLatin1Char('|'));
        }
        QSet<QString> expected;
        for (auto it = posted.cbegin(); it != posted.cend(); ++it) {
            const QJsonObject &body = it.value();
            const auto number = [&body](const char *key) {
                return body.value(QLatin1String(key)).isNull()
                    ? QString()
                    : QString::number(body.value(QLatin1String(key)).toInt());
            };
            expected << QStringList {body.value("server").toString(), body.value("from").toString(),
                                     body.value("to").toString(),     number("players"),
                                     number("players_max"),           body.value("map").toString(),
                                     body.value("time").toString()}
                            .join(QLatin1Char('|'));
        }
        QCOMPARE(recorded, expected);
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("x"))));

        // The watch of one server: its command got the stop and the start;
        // its failing webhook said so, and that it is tried again.
        QTRY_COMPARE_WITH_TIMEOUT(QString::fromUtf8(contents(recordOne)).count(QLatin1Char('\n')), 2, patienceMs);
        QVERIFY(contents(recordOne).contains(R"("VALMORA_TO":"Выключен")"));
        QTRY_VERIFY2_WITH_TIMEOUT(one.err.contains(QStringLiteral("ответил кодом HTTP 500; повтор через 30 с")),
                                  qPrintable(one.err), patienceMs);
        QVERIFY2(!one.err.contains(QLatin1String("SECRET")), qPrintable(one.err));

        stopWatch(everything);
        stopWatch(one);
        // The watch wrote nothing into the settings file.
        QCOMPARE(contents(all), settingsBefore);
    }
};

int main(int argc, char *argv[])
{
    if (argc == 3 && std::strcmp(argv[1], "--record-alert") == 0)
        return AlertRecord::write(argv[2]);
    QCoreApplication app(argc, argv);
    WatchTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_watch.moc"

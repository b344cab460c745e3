// How an alert leaves valmora-ctl watch, in process: posted to a webhook
// receiver over real TLS on loopback, and handed to a command through the
// system's shell, with the retry delay and the command's deadline short.
//
// The test program is also the alert command: started with --record-alert
// FILE it appends the VALMORA_ variables it was given to FILE (and then,
// for a server named "hanging", waits for 20 s); with --exit N it exits
// with N.

#include "alertrecord.h"
#include "ctl/alertcommand.h"
#include "ctl/alerttext.h"
#include "ctl/webhooksender.h"
#include "patience.h"
#include "tlstestserver.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <cstdlib>
#include <cstring>

namespace {

constexpr int ShortRetry = 50;

// A name that would run a command of its own if it were put into one.
const QString Injection = QStringLiteral("a\"; touch x; echo \"");
const QString Hanging = QStringLiteral("hanging");

// The alert command's side.
int recordAlert(const char *file)
{
    const int status = AlertRecord::write(file);
    // The command that outlives its deadline: what is tested, not a wait for
    // a race. Bounded, because on Windows ending the shell leaves its child.
    if (qEnvironmentVariable("VALMORA_SERVER") == Hanging)
        QThread::sleep(20);
    return status;
}

using AlertRecord::quoted;

QString self()
{
    return quoted(QCoreApplication::applicationFilePath());
}

StateChange alert(const QString &server, bool reached)
{
    StateChange change;
    change.time = QDateTime::currentDateTime();
    change.server = server;
    change.from = QStringLiteral("Работает");
    change.now.reached = reached;
    change.now.state = reached ? QStringLiteral("Выключен") : QStringLiteral("Нет связи");
    change.now.playersMax = reached ? 16 : 0;
    change.now.map = reached ? QStringLiteral("frozen_lake") : QString();
    return change;
}

QJsonObject environmentOf(const StateChange &change)
{
    QJsonObject expected;
    for (const auto &[name, value] : AlertText::environment(change))
        expected.insert(name, value);
    return expected;
}

QList<QJsonObject> recorded(const QString &file)
{
    QFile log(file);
    QList<QJsonObject> found;
    if (!log.open(QIODevice::ReadOnly))
        return found;
    for (const QByteArray &line : log.readAll().split('\n')) {
        if (!line.isEmpty())
            found << QJsonDocument::fromJson(line).object();
    }
    return found;
}

// A loopback port nothing listens on.
quint16 closedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

QList<QSslCertificate> receiversAuthority()
{
    return QSslCertificate::fromPath(QStringLiteral(TEST_DATA_DIR "/localhost.crt"));
}

} // namespace

Q_DECLARE_METATYPE(StateChange)

class AlertDeliveryTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir folder;

    // With the certificate `name`: "localhost", trusted, or "untrusted".
    static bool startReceiver(TlsTestServer &receiver, const TlsTestReply &reply,
                              const QString &name = QStringLiteral("localhost"))
    {
        receiver.setHandler([reply](const QByteArray &) { return reply; });
        return receiver.start(QStringLiteral(TEST_DATA_DIR "/%1.crt").arg(name),
                              QStringLiteral(TEST_DATA_DIR "/%1.key").arg(name));
    }

    static QStringList texts(const QSignalSpy &spy)
    {
        QStringList found;
        for (const QList<QVariant> &arguments : spy)
            found << arguments.at(0).toString();
        return found;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(folder.isValid());
        // Where a command's "touch x" would land.
        QVERIFY(QDir::setCurrent(folder.path()));
        // The test servers' certificate stands in for the system's
        // authorities, which take most of a second to read each time.
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setCaCertificates(QSslCertificate::fromPath(QStringLiteral(TEST_DATA_DIR "/localhost.crt")));
        QSslConfiguration::setDefaultConfiguration(tls);
    }

    // Trusting the system's authorities and those of cacert.
    void aWebhookGetsTheBody()
    {
        TlsTestServer receiver;
        TlsTestReply accepted;
        accepted.status = 204;
        QVERIFY(startReceiver(receiver, accepted));
        WebhookSender sender(QUrl(QStringLiteral("https://127.0.0.1:%1/hook/SECRET?thread=1").arg(receiver.port())),
                             receiversAuthority(), patienceMs, ShortRetry);
        QSignalSpy delivered(&sender, &WebhookSender::delivered);
        QSignalSpy failed(&sender, &WebhookSender::failed);
        const QByteArray body = AlertText::webhookBody(alert(QStringLiteral("Северный форт"), true));
        sender.post(body);
        QVERIFY(delivered.wait(patienceMs));
        QCOMPARE(receiver.requestLines(), QList<QByteArray>({"POST /hook/SECRET?thread=1 HTTP/1.1"}));
        QCOMPARE(receiver.contentTypes(), QList<QByteArray>({"application/json"}));
        QCOMPARE(receiver.bodies(), QList<QByteArray>({body}));
        QVERIFY(failed.isEmpty());
    }

    void aFailedPostIsTriedOnceMore_data()
    {
        QTest::addColumn<QString>("setUp");
        QTest::addColumn<QString>("failure");
        QTest::newRow("HTTP 500") << "500"
                                  << "ответил кодом HTTP 500";
        QTest::newRow("a redirect, not followed") << "redirect"
                                                  << "ответил кодом HTTP 302";
        QTest::newRow("no answer in time") << "silent"
                                           << "не ответил за 0.3 с";
        QTest::newRow("a certificate not trusted") << "untrusted"
                                                   << "не прошёл проверку сертификата";
        QTest::newRow("connection refused") << "closed"
                                            << "отказал в соединении";
    }

    void aFailedPostIsTriedOnceMore()
    {
        QFETCH(QString, setUp);
        QFETCH(QString, failure);
        TlsTestServer elsewhere;
        QVERIFY(startReceiver(elsewhere, TlsTestReply()));
        TlsTestServer receiver;
        TlsTestReply reply;
        if (setUp == QLatin1String("500")) {
            reply.status = 500;
            reply.body = "{}";
        } else if (setUp == QLatin1String("redirect")) {
            reply.status = 302;
            reply.headers
                = {{"Location", QStringLiteral("https://127.0.0.1:%1/SECRET").arg(elsewhere.port()).toUtf8()}};
        } else if (setUp == QLatin1String("silent")) {
            reply.silent = true;
        }
        QVERIFY(startReceiver(receiver, reply,
                              setUp == QLatin1String("untrusted") ? QStringLiteral("untrusted")
                                                                  : QStringLiteral("localhost")));
        const quint16 port = setUp == QLatin1String("closed") ? closedPort() : receiver.port();

        WebhookSender sender(QUrl(QStringLiteral("https://127.0.0.1:%1/hook/SECRET?thread=1").arg(port)), {}, 300,
                             ShortRetry);
        QSignalSpy failed(&sender, &WebhookSender::failed);
        QSignalSpy delivered(&sender, &WebhookSender::delivered);
        const QByteArray body = AlertText::webhookBody(alert(QStringLiteral("Северный форт"), true));
        sender.post(body);
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 2, patienceMs);
        const QString shown = QStringLiteral("веб-хук https://127.0.0.1:%1 ").arg(port);
        QCOMPARE(texts(failed),
                 QStringList({shown + failure + QStringLiteral("; повтор через 0.05 с"),
                              shown + failure + QStringLiteral("; оповещение не доставлено")}));
        QVERIFY(delivered.isEmpty());
        if (setUp == QLatin1String("500") || setUp == QLatin1String("redirect") || setUp == QLatin1String("silent")) {
            // Silent, the receiver reads the first request but never answers.
            QTRY_COMPARE_WITH_TIMEOUT(receiver.bodies().size(), 2, patienceMs);
            QCOMPARE(receiver.bodies().at(1), body);
            QCOMPARE(receiver.bodies().at(0), body);
        }
        // The body and the address's secret went nowhere else.
        QVERIFY(elsewhere.requestLines().isEmpty());
    }

    void aCommandGetsTheAlertInItsEnvironment_data()
    {
        QTest::addColumn<StateChange>("change");
        QTest::newRow("reached") << alert(QStringLiteral("Северный форт"), true);
        QTest::newRow("not reached") << alert(QStringLiteral("Северный форт"), false);
        QTest::newRow("a name with the shell's words") << alert(Injection, true);
    }

    void aCommandGetsTheAlertInItsEnvironment()
    {
        QFETCH(StateChange, change);
        const QString record = folder.filePath(QStringLiteral("environment.jsonl"));
        QFile::remove(record);
        AlertCommand command(self() + QStringLiteral(" --record-alert ") + quoted(record));
        QSignalSpy failed(&command, &AlertCommand::failed);
        command.run(change);
        QTRY_COMPARE_WITH_TIMEOUT(recorded(record).size(), 1, patienceMs);
        QCOMPARE(recorded(record).at(0), environmentOf(change));
        QVERIFY(!QFileInfo::exists(folder.filePath(QStringLiteral("x"))));
        QVERIFY(failed.isEmpty());
    }

    void aCommandsFailureIsSaid_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("failure");
        QTest::newRow("an exit code") << "--exit 3"
                                      << "завершилась с кодом 3";
    }

    void aCommandsFailureIsSaid()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, failure);
        AlertCommand command(self() + QLatin1Char(' ') + arguments);
        QSignalSpy failed(&command, &AlertCommand::failed);
        command.run(alert(QStringLiteral("Северный форт"), true));
        QVERIFY(failed.wait(patienceMs));
        QCOMPARE(texts(failed), QStringList {QStringLiteral("команда --exec для сервера «Северный форт» ") + failure});
    }

    // A command that hangs is ended after its time, and the alerts after it
    // do not wait for it.
    void aHangingCommandIsEnded()
    {
        const QString record = folder.filePath(QStringLiteral("hanging.jsonl"));
        QFile::remove(record);
#ifdef Q_OS_WIN
        // Under Wine a process may take longer than half a second to start,
        // and the command must have recorded its alert before it is ended.
        constexpr int deadlineMsec = 5000;
#else
        constexpr int deadlineMsec = 500;
#endif
        AlertCommand command(self() + QStringLiteral(" --record-alert ") + quoted(record), deadlineMsec);
        QSignalSpy failed(&command, &AlertCommand::failed);
        command.run(alert(Hanging, true));
        command.run(alert(QStringLiteral("Северный форт"), true));
        QTRY_COMPARE_WITH_TIMEOUT(recorded(record).size(), 2, patienceMs);
        QVERIFY(failed.wait(patienceMs));
        QCOMPARE(texts(failed),
                 QStringList {QStringLiteral("команда --exec для сервера «hanging» не закончилась за %1 с и прервана")
                                  .arg(deadlineMsec / 1000.0)});
    }
};

int main(int argc, char *argv[])
{
    if (argc == 3 && std::strcmp(argv[1], "--record-alert") == 0)
        return recordAlert(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "--exit") == 0)
        return std::atoi(argv[2]);
    QCoreApplication app(argc, argv);
    AlertDeliveryTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_alertdelivery.moc"

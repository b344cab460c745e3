// The benchmark's own measuring tools: they must count and measure what
// they claim to, or the figures they produce mean nothing.

#include "app/mainwindow.h"
#include "benchsettings.h"
#include "childprocess.h"
#include "core/settings/settingslocation.h"
#include "probe.h"
#include "processcounters.h"
#include "replybodies.h"
#include "resulttable.h"
#include "serviceprocess.h"
#include "tcprelay.h"

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTreeWidget>
#include <QtTest>

#include <cstring>
#include <memory>

namespace {

// Echoes every line back; closes the connection on "bye".
class EchoServer : public QTcpServer
{
public:
    EchoServer()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                    while (socket->canReadLine()) {
                        const QByteArray line = socket->readLine();
                        socket->write(line);
                        if (line == "bye\n")
                            socket->disconnectFromHost();
                    }
                });
            }
        });
    }
};

// `servers` servers and 9 console commands; the API host is a loopback port
// where nothing listens.
BenchSettings windowSettings(int servers)
{
    BenchSettings settings;
    settings.host = QStringLiteral("127.0.0.1:1");
    settings.servers = BenchSettings::madeUpServers(servers);
    settings.history = BenchSettings::madeUpHistory(9);
    return settings;
}

QByteArray exchange(QTcpSocket &socket, const QByteArray &line)
{
    socket.write(line);
    if (!QTest::qWaitFor([&] { return socket.canReadLine(); }, 10000))
        return QByteArray();
    return socket.readLine();
}

} // namespace

class BenchToolsTest : public QObject
{
    Q_OBJECT

private slots:
    void relayCountsConnectionsNotRequests()
    {
        EchoServer target;
        QVERIFY(target.listen(QHostAddress::LocalHost, 0));
        TcpRelay relay(target.serverPort());
        QVERIFY(relay.listen());

        QTcpSocket first;
        first.connectToHost(QHostAddress::LocalHost, relay.port());
        // Sent at once, before the relay can have reached the target.
        QCOMPARE(exchange(first, "one\n"), QByteArray("one\n"));
        QCOMPARE(exchange(first, "two\n"), QByteArray("two\n"));
        QCOMPARE(relay.connectionCount(), 1);

        QTcpSocket second;
        second.connectToHost(QHostAddress::LocalHost, relay.port());
        QCOMPARE(exchange(second, "three\n"), QByteArray("three\n"));
        QCOMPARE(relay.connectionCount(), 2);

        // The far side closing reaches the client, after the last bytes.
        QCOMPARE(exchange(second, "bye\n"), QByteArray("bye\n"));
        QTRY_COMPARE_WITH_TIMEOUT(second.state(), QAbstractSocket::UnconnectedState, 10000);
        QCOMPARE(exchange(first, "four\n"), QByteArray("four\n"));
    }

    void childRunReportsThatChildOnly()
    {
        const QString launcher = QStringLiteral(BENCH_LAUNCHER);
        const ChildRun small = runChild(launcher, QStringLiteral("sh"),
                                        {QStringLiteral("-c"), QStringLiteral("echo cpu_ms=1.5 queries=3; exit 4")});
        QVERIFY(small.started);
        QCOMPARE(small.exitCode, 4);
        QCOMPARE(outputValue(small.output, "cpu_ms"), 1.5);
        QCOMPARE(outputValue(small.output, "queries"), 3.0);
        QCOMPARE(outputValue(small.output, "missing", -7), -7.0);

        // A child holding 48 MiB in a shell variable, then a small one: the
        // second must inherit the peak neither of the first nor of this
        // process, which holds 40 MiB more here.
        const QByteArray ballast(40 << 20, 'x');
        const ChildRun big = runChild(
            launcher, QStringLiteral("sh"),
            {QStringLiteral("-c"), QStringLiteral("x=$(head -c 50331648 /dev/zero | tr '\\000' a); echo ${#x}")});
        QCOMPARE(big.output.trimmed(), QByteArray("50331648"));
        const ChildRun after = runChild(launcher, QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("true")});
        QVERIFY2(big.peakMemoryMiB > 48, qPrintable(QString::number(big.peakMemoryMiB)));
        QVERIFY2(after.peakMemoryMiB < 16, qPrintable(QString::number(after.peakMemoryMiB)));
        QCOMPARE(ballast.count('x'), 40 << 20);

        QVERIFY(!runChild(launcher, QStringLiteral("no-such-program-here"), {}).started);
    }

    void probeCommandLines_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("settings");

        QTest::newRow("first paint") << QStringList {"first-paint", "--settings", "d"} << int(ProbeRequest::FirstPaint)
                                     << 0 << "d";
        QTest::newRow("idle") << QStringList {"idle", "60"} << int(ProbeRequest::Idle) << 60 << "";
        QTest::newRow("idle without seconds") << QStringList {"idle"} << int(ProbeRequest::Invalid) << 0 << "";
        QTest::newRow("idle for no time") << QStringList {"idle", "0"} << int(ProbeRequest::Invalid) << 0 << "";
        QTest::newRow("idle with lead-in")
            << QStringList {"idle", "5", "--lead-in", "0"} << int(ProbeRequest::Idle) << 5 << "";
        QTest::newRow("negative lead-in")
            << QStringList {"idle", "5", "--lead-in", "-1"} << int(ProbeRequest::Invalid) << 0 << "";
        QTest::newRow("unknown word") << QStringList {"first-paint", "--fast"} << int(ProbeRequest::Invalid) << 0 << "";
        QTest::newRow("nothing") << QStringList {} << int(ProbeRequest::Invalid) << 0 << "";
    }

    void probeCommandLines()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, mode);
        QFETCH(int, seconds);
        QFETCH(QString, settings);
        const ProbeRequest request = ProbeRequest::fromArguments(QStringList {"probe"} + arguments);
        QCOMPARE(int(request.mode), mode);
        if (request.mode != ProbeRequest::Invalid) {
            QCOMPARE(request.idleSeconds, seconds);
            QCOMPARE(request.settingsDirectory, settings);
        }
    }

    // A probe that never saw its first paint would only end at its give-up
    // time, and every start-up figure would be that time.
    void probesPaintAndReport_data()
    {
        QTest::addColumn<QString>("probe");
        QTest::newRow("empty window") << QStringLiteral(BENCH_EMPTY_PROBE);
        QTest::newRow("text and TLS floor") << QStringLiteral(BENCH_FLOOR_PROBE);
        QTest::newRow("text floor, no TLS") << QStringLiteral(BENCH_TEXT_FLOOR_PROBE);
        QTest::newRow("program's window") << QStringLiteral(BENCH_WINDOW_PROBE);
    }

    void probesPaintAndReport()
    {
        QFETCH(QString, probe);
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        QCOMPARE(windowSettings(20).writeTo(folder.path()), QString());

        const ChildRun run = runChild(QStringLiteral(BENCH_LAUNCHER), probe,
                                      {QStringLiteral("first-paint"), QStringLiteral("--settings"), folder.path()});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(outputValue(run.output, "first_paint_ms") > 0, run.output.constData());
        QVERIFY(run.peakMemoryMiB > 0);
    }

    // The program's probe settles once its first update is over (here: the
    // connection is refused) and counts only what happens afterwards.
    void idleProbesReport()
    {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        QCOMPARE(windowSettings(1).writeTo(folder.path()), QString());
        const QStringList idle {QStringLiteral("idle"), QStringLiteral("1"),          QStringLiteral("--lead-in"),
                                QStringLiteral("0"),    QStringLiteral("--settings"), folder.path()};

        const ChildRun window = runChild(QStringLiteral(BENCH_LAUNCHER), QStringLiteral(BENCH_WINDOW_PROBE), idle);
        QCOMPARE(window.exitCode, 0);
        QVERIFY2(outputValue(window.output, "cpu_ms") >= 0, window.output.constData());
        QVERIFY(outputValue(window.output, "voluntary_switches") >= 0);
        QCOMPARE(outputValue(window.output, "queries"), 0.0);
        QCOMPARE(outputValue(window.output, "handshakes"), 0.0);

        const ChildRun empty = runChild(QStringLiteral(BENCH_LAUNCHER), QStringLiteral(BENCH_EMPTY_PROBE), idle);
        QCOMPARE(empty.exitCode, 0);
        QVERIFY2(outputValue(empty.output, "cpu_ms") >= 0, empty.output.constData());
    }

    void serviceStartsAndStops()
    {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        ServiceProcess service(QStringLiteral(API_SERVICE_EXECUTABLE), folder.path());
        QCOMPARE(service.start(), QString());
        QVERIFY(service.port() != 0);
        QCOMPARE(service.host(), QStringLiteral("127.0.0.1:%1").arg(service.port()));
        QVERIFY(QFile::exists(service.certificatePath()));

        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, service.port());
        QVERIFY(probe.waitForConnected(10000));
        probe.abort();

        QCOMPARE(service.stop(), QString()); // ended cleanly, as told
        probe.connectToHost(QHostAddress::LocalHost, service.port());
        QVERIFY(!probe.waitForConnected(10000));

        // One that ends at once, on an option it rejects, is reported.
        ServiceProcess refused(QStringLiteral(API_SERVICE_EXECUTABLE), folder.path());
        QCOMPARE(refused.start({QStringLiteral("--speed"), QStringLiteral("0")}),
                 QStringLiteral("the service did not start listening"));
    }

    void medians()
    {
        QCOMPARE(median({3, 1, 2}), 2.0);
        QCOMPARE(median({4, 1, 3, 2}), 2.5);
        QCOMPARE(median({}), 0.0);
    }

    // The start-up settings and the reply bodies must reach the widgets, or
    // the benchmark would time a window with less in it than it says.
    void settingsAndBodiesReachTheWindow()
    {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        QCOMPARE(windowSettings(20).writeTo(folder.path()), QString());
        SettingsLocation::setDirectory(folder.path());

        {
            MainWindow window;
            QCOMPARE(window.findChild<QComboBox *>(QStringLiteral("comboBox"))->count(), 20);
            QCOMPARE(window.findChild<QComboBox *>(QStringLiteral("comboBox_3"))->count(), 9);

            QCOMPARE_NE(ReplyBodies::status(64, 0), ReplyBodies::status(64, 1));
            window.handleReply(QStringLiteral("status"), ReplyBodies::status(64, 1));
            QCOMPARE(window.findChild<QTreeWidget *>()->topLevelItemCount(), 64);
            QCOMPARE(window.findChild<QLabel *>(QStringLiteral("label_9"))->text(), QStringLiteral("Игроки: 64/66"));

            window.handleReply(QStringLiteral("getmaps"), ReplyBodies::maps(200, 1));
            auto *maps = window.findChild<QComboBox *>(QStringLiteral("comboBox_2"));
            QCOMPARE(maps->count(), 200);
            QCOMPARE(maps->currentText(), QStringLiteral("map_003")); // the status's map

            window.handleReply(QStringLiteral("getresources"), ReplyBodies::resources(1));
            QCOMPARE(window.findChild<QProgressBar *>(QStringLiteral("progressBar"))->value(), 42);
        }
        SettingsLocation::setDirectory(QString());
    }

    void descriptorsAndSocketsAreCounted()
    {
        // Opens a file and a connection, returns the counts while they are
        // open and closes them again.
        auto openAndClose = [] {
            QTemporaryFile file;
            QTcpServer server;
            QTcpSocket client;
            if (!file.open() || !server.listen(QHostAddress::LocalHost, 0))
                return DescriptorCounts {-1, -1};
            client.connectToHost(QHostAddress::LocalHost, server.serverPort());
            if (!client.waitForConnected(10000) || !server.waitForNewConnection(10000))
                return DescriptorCounts {-1, -1};
            const std::unique_ptr<QTcpSocket> accepted(server.nextPendingConnection());
            return openDescriptors();
        };
        openAndClose(); // Qt sets up some things of its own the first time

        const DescriptorCounts before = openDescriptors();
        QVERIFY(before.open > 0 && before.sockets >= 0);
        const DescriptorCounts during = openAndClose();
        QCOMPARE(during.sockets - before.sockets, 3); // listening, client, accepted
        QCOMPARE(during.open - before.open, 4);
        const DescriptorCounts after = openDescriptors();
        QCOMPARE(after.sockets, before.sockets);
        QCOMPARE(after.open, before.open);
    }

    void loopbackClientPortsAreReadFromTheKernelTable()
    {
        // Established 127.0.0.1:41394 -> :8080 (0x1F90) and its other end,
        // one in TIME_WAIT (06), one to another port and one from elsewhere.
        const QByteArray table = "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid\n"
                                 "   0: 0100007F:1F90 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000\n"
                                 "   1: 0100007F:A1B2 0100007F:1F90 01 00000000:00000000 00:00000000 00000000  1000\n"
                                 "   2: 0100007F:1F90 0100007F:A1B2 01 00000000:00000000 00:00000000 00000000  1000\n"
                                 "   3: 0100007F:A1B3 0100007F:1F90 06 00000000:00000000 00:00000000 00000000  1000\n"
                                 "   4: 0100007F:A1B4 0100007F:1F91 01 00000000:00000000 00:00000000 00000000  1000\n"
                                 "   5: 0200000A:A1B5 0100007F:1F90 01 00000000:00000000 00:00000000 00000000  1000\n";
        QCOMPARE(loopbackClientPorts(table, 0x1F90), QSet<quint16>({0xA1B2}));

        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, server.serverPort());
        QVERIFY(client.waitForConnected(10000));
        QCOMPARE(loopbackClientPorts(server.serverPort()), QSet<quint16>({client.localPort()}));
    }

    void residentAndHeapMemoryFollowAnAllocation()
    {
        constexpr qint64 size = qint64(32) * 1024 * 1024;
        const qint64 residentBefore = residentBytes();
        const qint64 heapBefore = heapInUseBytes();
        QVERIFY(residentBefore > 0);

        std::unique_ptr<char[]> block(new char[size]);
        std::memset(block.get(), 1, size); // resident only once touched
        QVERIFY(residentBytes() - residentBefore >= size * 9 / 10);
#ifndef __SANITIZE_ADDRESS__
        // AddressSanitizer's allocator keeps books of its own that the C
        // library's heap figures do not see.
        QVERIFY(heapInUseBytes() - heapBefore >= size);
        block.reset();
        QVERIFY(heapInUseBytes() - heapBefore < size);
#else
        Q_UNUSED(heapBefore)
#endif
    }
};

QTEST_MAIN(BenchToolsTest)
#include "tst_benchtools.moc"

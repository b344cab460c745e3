// Soak: the program's shown window against the stand-in service over
// loopback TLS for many full updates in a row, a week of polling at the
// program's once a minute, while players come and go. After a warm-up and
// at the end it reads what the process holds: resident memory, heap in use,
// open descriptors and sockets; and it counts TLS handshakes (client side)
// and TCP connections to the service (from the kernel's table).

#include "app/mainwindow.h"
#include "benches.h"
#include "benchsettings.h"
#include "core/api/queuedhttp.h"
#include "core/settings/settingslocation.h"
#include "demoservers.h"
#include "patience.h"
#include "processcounters.h"
#include "resulttable.h"
#include "serviceprocess.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <memory>

namespace {

constexpr int warmUpUpdates = 200;
constexpr qint64 longestRunMs = qint64(30) * 60 * 1000; // the whole soak stops early after this
constexpr int sampleEvery = 1000; // updates between memory samples
constexpr qint64 megabyte = qint64(1024) * 1024;
constexpr qint64 growthLimit = megabyte;

// The service's servers run this many times as fast as the clock. An update
// with its painting takes about 15 ms here, so each sees about as much play
// as the program's minute between two refreshes.
constexpr int serviceSpeed = 4000;
constexpr int pollIntervalS = 60; // the program's own refresh interval

const QString serverName = QString::fromUtf8(DemoServers::NorthFort.name);
const QString serverKey = QString::fromLatin1(DemoServers::NorthFort.apiKey);

// What the process holds at one moment.
struct Holdings
{
    qint64 rss = 0;
    qint64 heap = 0;
    DescriptorCounts descriptors;
    int handshakes = 0;
    int connections = 0; // distinct TCP connections to the service seen so far
    int openConnections = 0;
    qint64 elapsedMs = 0;
};

QString mebibytes(qint64 bytes)
{
    return ResultTable::number(double(bytes) / megabyte, 1) + QStringLiteral(" MiB");
}

QString signedMebibytes(qint64 bytes)
{
    return (bytes >= 0 ? QStringLiteral("+") : QString()) + ResultTable::number(double(bytes) / megabyte, 2)
        + QStringLiteral(" MiB");
}

QString signedCount(int difference)
{
    return (difference >= 0 ? QStringLiteral("+") : QString()) + QString::number(difference);
}

QSet<QString> shownPlayers(const QTreeWidget *tree)
{
    QSet<QString> names;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        names.insert(tree->topLevelItem(i)->text(0));
    return names;
}

// Lets the window do what its event loop would do between two refreshes:
// delete what was let go and paint what changed.
void settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

class SoakRun
{
public:
    SoakRun(const QString &directory, const ServiceProcess &service)
        : m_servicePort(service.port())
    {
        BenchSettings settings;
        settings.host = service.host();
        settings.caCertificate = service.certificatePath();
        settings.servers = {{serverName, serverKey}};
        m_problem = settings.writeTo(directory);
        SettingsLocation::setDirectory(directory);

        m_window = std::make_unique<MainWindow>(); // queues the first full update
        m_http = m_window->findChild<QueuedHttp *>();
        m_tree = m_window->findChild<QTreeWidget *>();
        auto *manager = m_http->findChild<QNetworkAccessManager *>();
        QObject::connect(manager, &QNetworkAccessManager::encrypted, manager, [this] { ++m_handshakes; });
        // Connected after the window's own handler, so the body is still there.
        QObject::connect(m_http, &QueuedHttp::requestFinished, m_http, [this](int, bool error) {
            if (error)
                ++m_failures;
            else if (!m_http->readAll().isEmpty())
                ++m_replies;
        });
        // Each update of the soak is one it asks for; the window's own
        // once-a-minute refresh would add some of its own.
        for (QTimer *timer : m_window->findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly)) {
            if (timer->interval() == pollIntervalS * 1000) {
                timer->stop();
                m_refreshStopped = true;
            }
        }
        m_window->show();
        settle();
    }

    ~SoakRun()
    {
        m_window.reset();
        SettingsLocation::setDirectory(QString());
    }

    QString problem() const { return m_problem; }
    bool refreshStopped() const { return m_refreshStopped; }
    int replies() const { return m_replies; }
    int failures() const { return m_failures; }
    int listChanges() const { return m_listChanges; }
    int joins() const { return m_joins; }
    int leaves() const { return m_leaves; }
    int fewestPlayers() const { return m_fewest; }
    int mostPlayers() const { return m_most; }

    // One full update, shown; false if it did not finish in time.
    bool update(bool first)
    {
        if (!first)
            m_window->fullUpdate();
        if (!waitUntilIdle())
            return false;
        settle();
        notePlayers();
        m_seenPorts.unite(loopbackClientPorts(m_servicePort));
        return true;
    }

    Holdings holdings(qint64 elapsedMs) const
    {
        Holdings now;
        now.rss = residentBytes();
        now.heap = heapInUseBytes();
        now.descriptors = openDescriptors();
        now.handshakes = m_handshakes;
        now.connections = int(m_seenPorts.size());
        now.openConnections = int(loopbackClientPorts(m_servicePort).size());
        now.elapsedMs = elapsedMs;
        return now;
    }

private:
    bool waitUntilIdle()
    {
        if (m_http->currentId() == 0 && !m_http->hasPendingRequests())
            return true;
        QEventLoop loop;
        // A timer of its own: a single-shot one would outlive the loop by
        // the whole patience and pile up over many updates.
        QTimer patience;
        patience.setSingleShot(true);
        QObject::connect(&patience, &QTimer::timeout, &loop, [&] { loop.exit(1); });
        patience.start(patienceMs);
        QObject::connect(m_http, &QueuedHttp::requestFinished, &loop, [&] {
            if (!m_http->hasPendingRequests())
                loop.exit(0);
        });
        return loop.exec() == 0;
    }

    void notePlayers()
    {
        const QSet<QString> now = shownPlayers(m_tree);
        const int count = int(now.size());
        m_fewest = m_seenAny ? qMin(m_fewest, count) : count;
        m_most = m_seenAny ? qMax(m_most, count) : count;
        if (m_seenAny && now != m_players) {
            ++m_listChanges;
            m_joins += int(QSet<QString>(now).subtract(m_players).size());
            m_leaves += int(QSet<QString>(m_players).subtract(now).size());
        }
        m_players = now;
        m_seenAny = true;
    }

    QString m_problem;
    quint16 m_servicePort;
    std::unique_ptr<MainWindow> m_window;
    QueuedHttp *m_http = nullptr;
    QTreeWidget *m_tree = nullptr;
    bool m_refreshStopped = false;
    int m_handshakes = 0;
    int m_replies = 0;
    int m_failures = 0;
    QSet<quint16> m_seenPorts;

    QSet<QString> m_players;
    bool m_seenAny = false;
    int m_listChanges = 0;
    int m_joins = 0;
    int m_leaves = 0;
    int m_fewest = 0;
    int m_most = 0;
};

} // namespace

void runSoakBench(const BenchContext &context, int updates, ResultTable &table)
{
    updates = qMax(updates, warmUpUpdates + 1);
    std::fprintf(stderr, "soak: %d full updates...\n", updates);
    const QDir work(context.workDirectory);
    work.mkpath(QStringLiteral("soak"));
    work.mkpath(QStringLiteral("soak-service"));

    ServiceProcess service(context.service, work.filePath(QStringLiteral("soak-service")));
    const QString serviceProblem = service.start({QStringLiteral("--speed"), QString::number(serviceSpeed)});
    if (!serviceProblem.isEmpty()) {
        table.addNote(QStringLiteral("soak skipped: ") + serviceProblem);
        return;
    }

    SoakRun run(work.filePath(QStringLiteral("soak")), service);
    if (!run.problem().isEmpty()) {
        table.addNote(QStringLiteral("soak skipped: ") + run.problem());
        return;
    }

    QElapsedTimer clock;
    clock.start();
    const QDeadlineTimer deadline(longestRunMs);
    Holdings warm;
    QList<qint64> samples; // resident memory every `sampleEvery` updates
    int done = 0;
    QString stopped;
    while (done < updates) {
        if (!run.update(done == 0)) {
            stopped = QStringLiteral("update %1 did not finish within %2 s").arg(done + 1).arg(patienceMs / 1000);
            break;
        }
        ++done;
        if (done == warmUpUpdates)
            warm = run.holdings(clock.elapsed());
        if (done % sampleEvery == 0) {
            samples << residentBytes();
            std::fprintf(stderr, "  %d updates, %.1f MiB resident\n", done, double(samples.last()) / megabyte);
        }
        if (deadline.hasExpired() && done < updates) {
            stopped = QStringLiteral("stopped after %1 min").arg(longestRunMs / 60000);
            break;
        }
    }
    const Holdings end = run.holdings(clock.elapsed());

    using R = ResultTable;
    if (done <= warmUpUpdates) {
        table.addNote(QStringLiteral("soak failed: %1").arg(stopped));
        return;
    }

    const double simulatedDays = double(end.elapsedMs) * serviceSpeed / 1000 / 86400;
    const double pollingDays = double(done) * pollIntervalS / 86400;
    table.add({QStringLiteral("soak"), QStringLiteral("full updates; wall time; service's simulated time"),
               QStringLiteral("%1; %2 s").arg(done).arg(R::number(double(end.elapsedMs) / 1000, 1)),
               QStringLiteral("%1 days").arg(R::number(simulatedDays, 1)), QString(), QStringLiteral("%1").arg(updates),
               R::verdict(done == updates)});
    table.add({QStringLiteral("soak"),
               QStringLiteral("wall time per full update with painting and sampling, after warm-up (mean)"),
               R::number(double(end.elapsedMs - warm.elapsedMs) / (done - warmUpUpdates), 2) + QStringLiteral(" ms"),
               QString(), QString(), QString(), R::NoTarget});

    const qint64 growth = end.rss - warm.rss;
    table.add({QStringLiteral("soak"),
               QStringLiteral("resident memory: at end; after %1 updates; growth").arg(warmUpUpdates),
               mebibytes(end.rss), QStringLiteral("warm ") + mebibytes(warm.rss), signedMebibytes(growth),
               QStringLiteral("< +1 MiB"), R::verdict(growth < growthLimit)});
    table.add({QStringLiteral("soak"), QStringLiteral("heap in use (allocator): at end; after warm-up; growth"),
               mebibytes(end.heap), QStringLiteral("warm ") + mebibytes(warm.heap),
               signedMebibytes(end.heap - warm.heap), QString(), R::NoTarget});
    table.add({QStringLiteral("soak"), QStringLiteral("open file descriptors: at end; after warm-up"),
               QString::number(end.descriptors.open), QStringLiteral("warm %1").arg(warm.descriptors.open),
               signedCount(end.descriptors.open - warm.descriptors.open), QStringLiteral("no growth"),
               R::verdict(end.descriptors.open >= 0 && end.descriptors.open <= warm.descriptors.open)});
    table.add({QStringLiteral("soak"), QStringLiteral("of which sockets: at end; after warm-up"),
               QString::number(end.descriptors.sockets), QStringLiteral("warm %1").arg(warm.descriptors.sockets),
               signedCount(end.descriptors.sockets - warm.descriptors.sockets), QStringLiteral("no growth"),
               R::verdict(end.descriptors.sockets >= 0 && end.descriptors.sockets <= warm.descriptors.sockets)});
    table.add({QStringLiteral("soak"),
               QStringLiteral("TLS handshakes: in all; in the first %1 updates").arg(warmUpUpdates),
               QString::number(end.handshakes), QStringLiteral("warm %1").arg(warm.handshakes),
               signedCount(end.handshakes - warm.handshakes), QStringLiteral("+0"),
               R::verdict(end.handshakes == warm.handshakes)});
    table.add({QStringLiteral("soak"),
               QStringLiteral("TCP connections to the service: in all; in the first %1 updates; open at end")
                   .arg(warmUpUpdates),
               QStringLiteral("%1; open %2").arg(end.connections).arg(end.openConnections),
               QStringLiteral("warm %1").arg(warm.connections), signedCount(end.connections - warm.connections),
               QStringLiteral("+0"), R::verdict(end.connections == warm.connections && end.openConnections <= 1)});
    table.add({QStringLiteral("soak"), QStringLiteral("check: replies shown = 3 x updates; failed requests"),
               QStringLiteral("%1; %2").arg(run.replies()).arg(run.failures()),
               QStringLiteral("3 x %1 = %2; 0").arg(done).arg(3 * done), QString(), QStringLiteral("equal"),
               R::verdict(run.replies() == 3 * done && run.failures() == 0 && run.refreshStopped())});
    table.add({QStringLiteral("soak"),
               QStringLiteral("players: list changed in updates; joined; left; fewest-most shown"),
               QStringLiteral("%1 of %2; %3; %4; %5-%6")
                   .arg(run.listChanges())
                   .arg(done - 1)
                   .arg(run.joins())
                   .arg(run.leaves())
                   .arg(run.fewestPlayers())
                   .arg(run.mostPlayers()),
               QString(), QString(), QString(), R::NoTarget});

    QStringList series;
    series << QStringLiteral("%1: %2").arg(warmUpUpdates).arg(R::number(double(warm.rss) / megabyte, 2));
    for (int i = 0; i < samples.size(); ++i)
        series
            << QStringLiteral("%1: %2").arg((i + 1) * sampleEvery).arg(R::number(double(samples.at(i)) / megabyte, 2));
    table.addNote(QStringLiteral("soak: %1 full updates = %2 days of polling once a minute; the service's "
                                 "servers ran %3 times as fast as the clock. The ratio column holds the change "
                                 "after the warm-up of %4 updates. Resident MiB by update: %5")
                      .arg(done)
                      .arg(R::number(pollingDays, 1))
                      .arg(serviceSpeed)
                      .arg(warmUpUpdates)
                      .arg(series.join(QStringLiteral(", "))));
    if (!stopped.isEmpty())
        table.addNote(QStringLiteral("soak: ") + stopped);
    if (!run.refreshStopped())
        table.addNote(QStringLiteral("soak: the window's refresh timer was not found; its refreshes may add replies"));
}

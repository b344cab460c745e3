// The history window's costs on the GUI thread: recording one reply, and
// opening the window on 30 days of servers sampled every minute, to its
// first paint; one repaint of the chart; the memory the window adds to a
// program whose main window is already up.
//
//   valmora-bench-history-window FOLDER [SERVERS]
//
//   valmora-bench-history-window --show SETTINGS SECONDS
//
// The second form runs the real main window on SETTINGS, opens its history
// window and quits after SECONDS, for screenshots.
//
// FOLDER/history.sqlite is filled first (unless it exists) with 30 days of
// SERVERS made-up servers (default 10), one status and one resources sample
// a minute, folded into hours as the recorder would; FOLDER/setting.ini
// stores the same servers, its API host a closed loopback port. The main
// window is shown on it and left to settle before the history window is
// opened from its button. Prints "key value" lines.

#include "app/mainwindow.h"
#include "benchsettings.h"
#include "core/api/servicereply.h"
#include "core/history/historyrecorder.h"
#include "core/history/historystore.h"
#include "core/settings/settingslocation.h"
#include "history/historyaccess.h"
#include "history/historychartview.h"
#include "history/historywindow.h"
#include "history/queryrecorder.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <malloc.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr qint64 days = 30;

double residentMiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toDouble() * 4096 / (1024.0 * 1024.0);
}

// Resident memory, and the same once the allocator has handed back what
// it keeps free (the readings' thread leaves an arena of its own).
std::pair<double, double> memoryMiB()
{
    const double resident = residentMiB();
    malloc_trim(0);
    return {resident, residentMiB()};
}

// A loopback port that nothing listens on: the main window's queries are
// refused at once.
quint16 closedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

void fill(const QString &path, const QStringList &names, qint64 now)
{
    HistoryStore store(path);
    if (store.openForWriting() != HistoryStore::Outcome::Ready) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return;
    }
    const qint64 start = now - days * 86400;
    for (qint64 day = start; day < now; day += 86400) {
        QList<History::StatusSample> statuses;
        QList<History::ResourceSample> resources;
        for (int server = 0; server < names.size(); ++server) {
            for (qint64 t = day; t < std::min(now, day + 86400); t += 60) {
                const int hour = int((t / 3600) % 24);
                const int evening = hour >= 17 && hour <= 23 ? 8 : 2;
                const int players = (evening + server + int((t / 600) % 5)) % 17;
                // A stop of an hour every third day, and no contact for a while on the tenth.
                History::State state = History::Running;
                if ((t - start) / 86400 % 3 == 2 && hour == 4)
                    state = History::Off;
                if ((t - start) / 86400 == 10 && hour >= 12 && hour < 14)
                    state = History::NoContact;
                statuses.append({names.at(server), t, state, state == History::Running ? players : -1,
                                 state == History::Running ? 16 : -1, QStringLiteral("river_port")});
                if (state == History::Running)
                    resources.append({names.at(server), t, 20 + players * 3, 40 + players, players * 100 / 16, 61});
            }
        }
        store.write(statuses, resources);
    }
    store.foldIfDue(now);
}

void print(const char *key, double value)
{
    std::printf("%s %.3f\n", key, value);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 4 && arguments.at(1) == QLatin1String("--show")) {
        SettingsLocation::setFilePath(arguments.at(2));
        MainWindow window;
        window.move(20, 20);
        window.show();
        QTimer::singleShot(1500, &window, [&window] {
            window.findChild<QToolButton *>(QStringLiteral("historyButton"))->click();
            if (auto *history = window.findChild<HistoryWindow *>())
                history->setGeometry(10, 10, 840, 600);
        });
        QTimer::singleShot(arguments.at(3).toInt() * 1000, &app, &QApplication::quit);
        return app.exec();
    }
    if (arguments.size() < 2 || arguments.size() > 3 || (arguments.size() == 3 && arguments.at(2).toInt() < 1)) {
        std::fprintf(stderr, "usage: valmora-bench-history-window FOLDER [SERVERS]\n");
        return 2;
    }
    const QString &folder = arguments.at(1);
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(QStringLiteral("history.sqlite"));
    BenchSettings settings;
    settings.host = QStringLiteral("127.0.0.1:%1").arg(closedPort());
    settings.servers = BenchSettings::madeUpServers(arguments.size() == 3 ? arguments.at(2).toInt() : 10);
    settings.history = BenchSettings::madeUpHistory(9);
    const QString unwritten = settings.writeTo(folder);
    if (!unwritten.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(unwritten));
        return 1;
    }
    QStringList names;
    for (const auto &server : qAsConst(settings.servers))
        names << server.first;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    if (!QFileInfo::exists(path)) {
        QElapsedTimer filling;
        filling.start();
        fill(path, names, now);
        print("fill_s", filling.elapsed() / 1000.0);
    }
    print("file_mib", QFileInfo(path).size() / (1024.0 * 1024.0));

    // Recording one reply on the GUI thread: the window's two calls.
    {
        HistoryAccess access(QDir(arguments.at(1)).filePath(QStringLiteral("record-bench.sqlite")),
                             History::systemClock());
        QueryRecorder recorder(&access);
        HttpExchange exchange;
        exchange.statusCode = 200;
        exchange.body = R"({"online":1,"data":{"s":{"name":"A","map":"m","players":"3","playersmax":"16"}}})";
        QVector<double> micros;
        for (int i = 0; i < 2000; ++i) {
            QElapsedTimer timer;
            timer.start();
            recorder.sent(i, QStringLiteral("A"), QStringLiteral("status"));
            recorder.finished(i, exchange);
            micros << timer.nsecsElapsed() / 1000.0;
        }
        std::sort(micros.begin(), micros.end());
        print("record_median_us", micros.at(micros.size() / 2));
        print("record_p99_us", micros.at(micros.size() * 99 / 100));
        print("record_worst_us", micros.constLast());
    }

    // The main window first, as the program shows it, left to settle: its
    // first queries refused, the history's choice read, the fonts loaded.
    SettingsLocation::setDirectory(folder);
    MainWindow main;
    main.show();
    if (!QTest::qWaitForWindowExposed(&main))
        return 1;
    main.repaint();
    QTest::qWait(3000);
    const auto [before, beforeTrimmed] = memoryMiB();
    print("main_window_mib", before);

    // The longest the event loop went without turning while the window
    // opened and read: a timer that should tick every 5 ms.
    QElapsedTimer sinceTick;
    double longestStallMs = 0;
    QTimer ticks;
    ticks.setInterval(5);
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        longestStallMs = std::max(longestStallMs, sinceTick.nsecsElapsed() / 1e6);
        sinceTick.start();
    });
    const auto watchStalls = [&] {
        longestStallMs = 0;
        sinceTick.start();
        ticks.start();
    };

    watchStalls();
    QElapsedTimer opening;
    opening.start();
    main.findChild<QToolButton *>(QStringLiteral("historyButton"))->click();
    auto *window = main.findChild<HistoryWindow *>();
    const double constructedMs = opening.nsecsElapsed() / 1e6;
    QSignalSpy shown(window, &HistoryWindow::shown);
    if (!shown.wait(120000))
        return 1;
    auto *chart = window->findChild<HistoryChartView *>();
    chart->repaint();
    ticks.stop();
    print("open_constructed_ms", constructedMs);
    print("open_to_first_paint_ms", opening.nsecsElapsed() / 1e6);
    print("open_longest_stall_ms", longestStallMs);
    const auto [opened, openedTrimmed] = memoryMiB();
    print("memory_added_open_mib", opened - before);
    print("memory_added_open_trimmed_mib", openedTrimmed - beforeTrimmed);

    QVector<double> repaints;
    for (int i = 0; i < 50; ++i) {
        QElapsedTimer timer;
        timer.start();
        chart->repaint();
        repaints << timer.nsecsElapsed() / 1e6;
    }
    std::sort(repaints.begin(), repaints.end());
    print("repaint_median_ms", repaints.at(repaints.size() / 2));
    print("repaint_worst_ms", repaints.constLast());

    // The 30-day period, read again.
    watchStalls();
    QElapsedTimer month;
    month.start();
    for (QWidget *button : window->findChildren<QWidget *>()) {
        if (button->property("text").toString() == QStringLiteral("30 дней"))
            QMetaObject::invokeMethod(button, "click");
    }
    if (!shown.wait(120000))
        return 1;
    chart->repaint();
    ticks.stop();
    print("month_to_paint_ms", month.nsecsElapsed() / 1e6);
    print("month_longest_stall_ms", longestStallMs);
    const auto [month30, month30Trimmed] = memoryMiB();
    print("memory_added_month_mib", month30 - before);
    print("memory_added_month_trimmed_mib", month30Trimmed - beforeTrimmed);
    return 0;
}

// The history window's costs on the GUI thread: recording one reply, and
// opening the window on 30 days of servers sampled every minute, to its
// first paint; one repaint of the chart; the memory the window adds.
//
//   valmora-bench-history-window FOLDER [NAME...]
//
//   valmora-bench-history-window --show SETTINGS SECONDS
//
// The second form runs the real main window on SETTINGS, opens its history
// window and quits after SECONDS, for screenshots.
//
// FOLDER/history.sqlite is filled first (unless it exists) with 30 days of
// each NAME (default: ten made-up servers), one status and one resources
// sample a minute, folded into hours as the recorder would. Prints
// "key value" lines.

#include "app/mainwindow.h"
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
#include <QTimer>
#include <QToolButton>

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
    if (arguments.size() < 2) {
        std::fprintf(stderr, "usage: valmora-bench-history-window FOLDER [NAME...]\n");
        return 2;
    }
    QDir().mkpath(arguments.at(1));
    const QString path = QDir(arguments.at(1)).filePath(QStringLiteral("history.sqlite"));
    QStringList names = arguments.mid(2);
    if (names.isEmpty()) {
        for (int i = 0; i < 10; ++i)
            names << QStringLiteral("Сервер %1").arg(i + 1);
    }
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

    const double before = residentMiB();
    HistoryAccess access(path, [now] { return now; });
    QElapsedTimer opening;
    opening.start();
    HistoryWindow window(&access, [names] { return names; });
    QSignalSpy shown(&window, &HistoryWindow::shown);
    window.showFor(names.constFirst());
    const double constructedMs = opening.nsecsElapsed() / 1e6;
    if (!shown.wait(60000))
        return 1;
    auto *chart = window.findChild<HistoryChartView *>();
    chart->repaint();
    print("open_constructed_ms", constructedMs);
    print("open_to_first_paint_ms", opening.nsecsElapsed() / 1e6);

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
    QElapsedTimer month;
    month.start();
    for (QWidget *button : window.findChildren<QWidget *>()) {
        if (button->property("text").toString() == QStringLiteral("30 дней"))
            QMetaObject::invokeMethod(button, "click");
    }
    if (!shown.wait(60000))
        return 1;
    chart->repaint();
    print("month_to_paint_ms", month.nsecsElapsed() / 1e6);
    print("memory_added_mib", residentMiB() - before);
    return 0;
}

#include "probe.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <sys/resource.h>
#include <time.h>

#include <cstdio>

namespace {

// Long enough for a loaded machine, short enough that a stuck probe does
// not hold up the whole run.
constexpr int givingUpMs = 30000;

// Calls a function once, on the first paint event the watched widget gets.
class FirstPaintWatcher : public QObject
{
public:
    FirstPaintWatcher(QWidget *widget, std::function<void()> onPaint)
        : m_widget(widget)
        , m_onPaint(std::move(onPaint))
    {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_widget && event->type() == QEvent::Paint && m_onPaint) {
            // Run after this paint pass, so the children are drawn too.
            QTimer::singleShot(0, qApp, std::exchange(m_onPaint, nullptr));
        }
        return false;
    }

private:
    QWidget *m_widget;
    std::function<void()> m_onPaint;
};

struct CpuReading
{
    double cpuMs = 0;
    long voluntarySwitches = 0;
    long involuntarySwitches = 0;

    static CpuReading now()
    {
        CpuReading reading;
        timespec cpu {};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
        reading.cpuMs = double(cpu.tv_sec) * 1e3 + double(cpu.tv_nsec) / 1e6;
        rusage usage {};
        getrusage(RUSAGE_SELF, &usage);
        reading.voluntarySwitches = usage.ru_nvcsw;
        reading.involuntarySwitches = usage.ru_nivcsw;
        return reading;
    }
};

// The time from the process's spawn, as the launcher tells it, to now:
// what a user waits from starting the program to its window on screen,
// whatever the program does after that.
void printOnScreenTime()
{
    bool ok = false;
    const qint64 spawnedNs = qEnvironmentVariable("VALMORA_BENCH_SPAWNED_NS").toLongLong(&ok);
    if (!ok)
        return;
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const qint64 nowNs = qint64(now.tv_sec) * 1000000000 + qint64(now.tv_nsec);
    std::printf("on_screen_ms=%.3f\n", double(nowNs - spawnedNs) / 1e6);
}

} // namespace

ProbeRequest ProbeRequest::fromArguments(const QStringList &arguments)
{
    ProbeRequest request;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("first-paint")) {
            request.mode = FirstPaint;
        } else if (argument == QLatin1String("settled")) {
            request.mode = Settled;
        } else if (argument == QLatin1String("idle") && i + 1 < arguments.size()) {
            request.mode = Idle;
            request.idleSeconds = arguments.at(++i).toInt();
        } else if (argument == QLatin1String("--lead-in") && i + 1 < arguments.size()) {
            bool ok = false;
            request.leadInSeconds = arguments.at(++i).toInt(&ok);
            if (!ok || request.leadInSeconds < 0)
                return ProbeRequest();
        } else if (argument == QLatin1String("--settings") && i + 1 < arguments.size()) {
            request.settingsDirectory = arguments.at(++i);
        } else {
            return ProbeRequest();
        }
    }
    if (request.mode == Idle && request.idleSeconds <= 0)
        return ProbeRequest();
    return request;
}

int runProbe(QWidget &window, const ProbeRequest &request, const QElapsedTimer &sinceMain, const ProbeHooks &hooks)
{
    if (request.mode == ProbeRequest::Invalid) {
        std::fprintf(stderr,
                     "usage: first-paint | settled | idle SECONDS [--lead-in SECONDS]; optionally --settings DIR\n");
        return 2;
    }

    int exitCode = 3;
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, qApp, [] {
        std::fprintf(stderr, "probe: gave up waiting\n");
        QCoreApplication::exit(3);
    });

    CpuReading atStart;
    auto finishIdle = [&] {
        const CpuReading atEnd = CpuReading::now();
        const QString extra = hooks.idleReport ? QLatin1Char(' ') + hooks.idleReport() : QString();
        std::printf("cpu_ms=%.3f voluntary_switches=%ld involuntary_switches=%ld%s\n", atEnd.cpuMs - atStart.cpuMs,
                    atEnd.voluntarySwitches - atStart.voluntarySwitches,
                    atEnd.involuntarySwitches - atStart.involuntarySwitches, qPrintable(extra));
        exitCode = 0;
        QCoreApplication::quit();
    };
    auto startIdle = [&] {
        giveUp.stop();
        window.hide();
        QTimer::singleShot(request.leadInSeconds * 1000, qApp, [&] {
            atStart = CpuReading::now();
            QTimer::singleShot(request.idleSeconds * 1000, qApp, finishIdle);
        });
    };

    auto quitSettled = [&] {
        std::printf("settled_ms=%.3f\n", double(sinceMain.nsecsElapsed()) / 1e6);
        exitCode = 0;
        QCoreApplication::quit();
    };
    FirstPaintWatcher watcher(&window, [&] {
        const std::function<void()> next = request.mode == ProbeRequest::Settled ? std::function<void()>(quitSettled)
                                                                                 : std::function<void()>(startIdle);
        if (request.mode == ProbeRequest::FirstPaint) {
            std::printf("first_paint_ms=%.3f\n", double(sinceMain.nsecsElapsed()) / 1e6);
            printOnScreenTime();
            exitCode = 0;
            QCoreApplication::quit();
        } else if (hooks.settle) {
            hooks.settle(next);
        } else {
            next();
        }
    });

    giveUp.start(givingUpMs);
    window.show();
    const int loopResult = QApplication::exec();
    std::fflush(stdout);
    return loopResult != 0 ? loopResult : exitCode;
}

#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// A probe is a small process that builds one window and is measured from
// outside (start-up) or measures itself (idle). Its command line:
//
//   first-paint [--settings DIR]
//       show the window and quit right after its first paint; prints
//       "first_paint_ms=N", the time from main() to that paint, and, when
//       started by the launcher, "on_screen_ms=N", the time from the spawn
//   settled [--settings DIR]
//       show the window, let it settle (the program: its first full update
//       answered) and quit; prints "settled_ms=N", the time from main()
//   idle SECONDS [--lead-in SECONDS] [--settings DIR]
//       show the window, let it settle, hide it, wait for the lead-in
//       (default 10 s) and print the CPU time used over the next SECONDS:
//       "cpu_ms=N voluntary_switches=N involuntary_switches=N"
//
// --settings names the folder that holds the window's setting.ini.
struct ProbeRequest
{
    enum Mode { Invalid, FirstPaint, Settled, Idle };

    Mode mode = Invalid;
    int idleSeconds = 0;
    // The program refreshes every 60 s from its start, and a coarse timer
    // may fire up to 5 % late; a 60-s stretch that starts 10 s after the
    // window settled holds exactly one refresh, as any minute of a long idle
    // run does.
    int leadInSeconds = 10;
    QString settingsDirectory;

    static ProbeRequest fromArguments(const QStringList &arguments);
};

// What a particular window adds to the generic probe run.
struct ProbeHooks
{
    // Called once the window has painted, with the function to call when
    // whatever the window started at construction has come to rest.
    std::function<void(std::function<void()> settled)> settle;
    // Extra "key=value" text for the idle report, read at its end.
    std::function<QString()> idleReport;
};

// Shows `window`, does what `request` asks and returns the process exit
// code: 0 on success, 2 for a bad command line, 3 when the window never
// painted or never settled.
int runProbe(QWidget &window, const ProbeRequest &request, const QElapsedTimer &sinceMain,
             const ProbeHooks &hooks = {});

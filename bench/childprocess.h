#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// One finished child process and what the kernel accounted to it alone.
struct ChildRun
{
    bool started = false;
    int exitCode = -1; // -1 when it did not exit normally
    double wallMs = 0; // from its spawn to its reaped exit
    double cpuMs = 0; // user plus system time
    double peakMemoryMiB = 0; // maximum resident set size
    QByteArray output; // its standard output
};

// Runs `program` (searched in PATH when it holds no slash) to its end with
// the caller's environment, through `launcher` (valmora-bench-launch), which
// measures it. Standard error is appended to `errorLog`, or discarded when
// that is empty.
ChildRun runChild(const QString &launcher, const QString &program, const QStringList &arguments,
                  const QString &errorLog = QString());

// A value of the "key=value" words in a child's output, e.g. "cpu_ms=1.5";
// `fallback` when missing or not a number.
double outputValue(const QByteArray &output, const QByteArray &key, double fallback = -1);

#pragma once

#include <QString>

class ResultTable;
class ServiceProcess;

// Where a benchmark run keeps its files and finds its programs.
struct BenchContext
{
    QString workDirectory; // a fresh temporary folder
    QString launcher; // starts a probe and measures it alone
    QString windowProbe; // the program's window in a probe process
    QString emptyProbe; // an empty main window in a probe process
    QString floorProbe; // the same with a line of text and TLS loaded
    QString textFloorProbe; // a fixed window of the program's size with a line of text, no TLS
    QString service; // the stand-in service program
    QString ctl; // the command-line tool
    QString ctlFloor; // one bare HTTPS GET from a Qt Core and Network program
};

// Each adds its rows (and notes) to the table.

// Start-up of the program's window against an empty main window, `runs`
// processes of each, side by side.
void runStartupBench(const BenchContext &context, int runs, ResultTable &table);

// Time from a finished reply body to the widgets, in this process.
void runReplyBench(const BenchContext &context, ResultTable &table);

// Full updates against the stand-in service over loopback TLS, in this process.
void runNetworkBench(const BenchContext &context, const ServiceProcess &service, ResultTable &table);

// CPU time over `seconds` with the window hidden and a server selected,
// against an empty main window, both as probe processes at the same time.
void runIdleBench(const BenchContext &context, const ServiceProcess &service, int seconds, ResultTable &table);

// `runs` valmora-ctl status processes against as many bare HTTPS GETs and
// windows answered once, side by side.
void runCtlBench(const BenchContext &context, const ServiceProcess &service, int runs, ResultTable &table);

// `updates` full updates of the shown window, one after another, against a
// service of its own whose players come and go quickly; what the process
// holds on to after a warm-up and at the end.
void runSoakBench(const BenchContext &context, int updates, ResultTable &table);

// valmora-ctl watch of 200 servers for `rounds` rounds at the shortest
// interval, against a service of its own: its memory after the first round
// and at the end, its TLS handshakes, and its CPU time between rounds.
void runWatchBench(const BenchContext &context, int rounds, ResultTable &table);

#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// What `valmora-ctl history` was asked to do.
struct HistoryRequest
{
    qint64 sinceSeconds = qint64(24) * 3600;
    qint64 stepSeconds = 0; // 0: the default step for the period
    bool csv = false;
    QString svgFile; // empty: no plot
    QString server; // empty: all servers at a glance
};

// Reads history's own arguments, those after the word "history":
// [--since DURATION] [--step DURATION] [--csv] [--svg FILE] [SERVER].
// Returns the mistake in Russian, or an empty text.
QString readHistoryArguments(const QStringList &arguments, bool json, HistoryRequest *history);

// "90m", "24h", "7d": a whole number of minutes, hours or days, in seconds;
// 0 when the text is none of these.
qint64 historyDuration(const QString &text);

// The options' part of valmora-ctl --help.
QString historyHelp();

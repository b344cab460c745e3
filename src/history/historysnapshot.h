#pragma once

#include "core/history/historyreadings.h"

#include <QList>
#include <QString>
#include <QStringList>

// Everything the history window shows, read in one go off the GUI thread:
// every server at a glance with a sparkline of its players, and the chosen
// server's steps for the chart.
struct HistorySnapshot
{
    struct Row
    {
        HistoryReadings::ServerSummary summary;
        QList<double> players; // average per sparkline step; negative: no data
    };

    static constexpr int sparklineSteps = 48;

    qint64 from = 0;
    qint64 to = 0;
    QList<Row> rows;
    QString server; // the chart's
    QList<HistoryReadings::Step> steps;
    qint64 step = 0;
    QString problem; // why the file could not be read, in Russian; empty if it could

    // The period of `periodSeconds` ending at `now`.
    static HistorySnapshot read(const QString &path, const QStringList &stored, const QString &server, qint64 now,
                                qint64 periodSeconds);
};

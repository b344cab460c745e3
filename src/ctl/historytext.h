#pragma once

#include "core/history/historyreadings.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The forms `valmora-ctl history` prints: an aligned table with Russian
// heads, one JSON document, or CSV with a header line. Names come out
// exactly as recorded; a figure without data is empty, or null in JSON.
namespace HistoryText {

struct Period
{
    qint64 from = 0; // UTC seconds
    qint64 to = 0;
    qint64 step = 0;
    qint64 now = 0;
};

QString summaryTable(const QList<HistoryReadings::ServerSummary> &rows, const Period &period);
QByteArray summaryJson(const QList<HistoryReadings::ServerSummary> &rows, const Period &period);
QString summaryCsv(const QList<HistoryReadings::ServerSummary> &rows);

QString stepsTable(const QString &server, const QList<HistoryReadings::Step> &steps, const Period &period);
QByteArray stepsJson(const QString &server, const QList<HistoryReadings::Step> &steps, const Period &period);
QString stepsCsv(const QList<HistoryReadings::Step> &steps);

// One CSV field: quoted, with quotes doubled, when it holds a comma, a
// quote, a line break or spaces at its ends.
QString csvField(const QString &text);

} // namespace HistoryText

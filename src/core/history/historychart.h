#pragma once

#include "core/history/historyreadings.h"

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <functional>

// The plot of one server's history as plain geometry in pixels, so that
// an SVG file and a window draw the same chart: the players (average and
// peak per step) with the limit; under them the state as a band, in the
// window's colour for each state and empty where there is no data; under
// that CPU, memory and disk on a 0-100 % scale; a time axis in local time;
// and a legend, in as many rows as its entries need at the bottom: the
// plots shrink to leave them room. Lines are broken at steps without data.
struct HistoryChart
{
    struct Line
    {
        QString label;
        QString colour; // "rgb(r, g, b)"
        bool dashed = false;
        QList<QList<QPointF>> pieces; // one per run of steps with data
    };
    struct Band
    {
        QRectF rect;
        History::State state;
        QString colour;
    };
    struct Tick
    {
        double position = 0; // x for the time axis, y for the scales
        QString label;
    };
    struct LegendEntry
    {
        QString label;
        QString colour; // empty: drawn as an outline, for "no data"
        bool dashed = false;
        QRectF rect; // the swatch at its left, then the label
    };
    // How the drawing's text measures: the width of a legend entry (its
    // swatch, its label and the room after it) and the height of a row.
    // By default an estimate for an SVG file's 11 px labels.
    struct LegendMetrics
    {
        std::function<double(const QString &label)> entryWidth
            = [](const QString &label) { return 28 + 7.5 * double(label.size()); };
        double rowHeight = 18;
    };

    QSizeF size;
    QString title;
    QRectF playersArea;
    QRectF bandArea;
    QRectF resourcesArea;
    QString playersTitle;
    QString bandTitle;
    QString resourcesTitle;
    QList<Tick> playerTicks;
    QList<Tick> percentTicks;
    QList<Tick> timeTicks;
    QList<Line> playerLines; // in the players' area
    QList<Line> resourceLines; // in the resources' area
    QList<Band> bands;
    QList<LegendEntry> legend;

    // `steps` of `step` seconds each, as HistoryReadings::steps() gives them.
    static HistoryChart layout(const QString &server, const QList<HistoryReadings::Step> &steps, qint64 step,
                               const QSizeF &size, const LegendMetrics &metrics);
    // The same with the SVG's estimate of the text.
    static HistoryChart layout(const QString &server, const QList<HistoryReadings::Step> &steps, qint64 step,
                               const QSizeF &size);
};

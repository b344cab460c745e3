#pragma once

#include "core/history/historychart.h"

#include <QWidget>

class QLabel;

// One server's chart, painted from the core's geometry at the widget's
// size, with the step under the pointer as its tool tip, and "Нет данных"
// with a line on how the history is recorded when there is nothing to draw.
class HistoryChartView : public QWidget
{
    Q_OBJECT

public:
    explicit HistoryChartView(QWidget *parent = nullptr);

    void setHistory(const QString &server, const QList<HistoryReadings::Step> &steps, qint64 step);
    bool hasData() const;
    // The tool tip at a point of the widget; empty outside the chart's steps.
    QString toolTipAt(const QPointF &point) const;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void relayout();

    QString server;
    QList<HistoryReadings::Step> steps;
    qint64 step = 0;
    HistoryChart chart;
    QLabel *noData;
};

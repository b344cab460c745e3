#include "historychartview.h"

#include "history/chartcolour.h"
#include "history/historytexts.h"

#include <QHelpEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// A legend entry's swatch and the room between it and the label.
constexpr double swatchRoom = 22;

QPen linePen(const QString &colour, bool dashed)
{
    QPen pen(chartColour(colour), 1.6);
    pen.setCosmetic(true);
    if (dashed)
        pen.setStyle(Qt::DashLine);
    return pen;
}

void drawScale(QPainter &painter, const QRectF &area, const QList<HistoryChart::Tick> &ticks, const QColor &grid)
{
    for (const HistoryChart::Tick &tick : ticks) {
        painter.setPen(grid);
        painter.drawLine(QPointF(area.left(), tick.position), QPointF(area.right(), tick.position));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(0, tick.position - 8, area.left() - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
                         tick.label);
    }
}

void drawLines(QPainter &painter, const QList<HistoryChart::Line> &lines)
{
    // The first line of the legend on top: the average over the peak.
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        const HistoryChart::Line &line = *it;
        painter.setPen(linePen(line.colour, line.dashed));
        for (const QList<QPointF> &piece : line.pieces) {
            QPainterPath path(piece.constFirst());
            for (int i = 1; i < piece.size(); ++i)
                path.lineTo(piece.at(i));
            painter.drawPath(path);
        }
    }
}

} // namespace

HistoryChartView::HistoryChartView(QWidget *parent)
    : QWidget(parent)
    , noData(new QLabel(this))
{
    setObjectName(QStringLiteral("historyChart"));
    setMouseTracking(true);
    setMinimumSize(360, 300);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::white);
    setPalette(colours);

    noData->setObjectName(QStringLiteral("noData"));
    noData->setAlignment(Qt::AlignCenter);
    noData->setWordWrap(true);
    noData->setTextFormat(Qt::RichText);
    noData->setText(QStringLiteral("<p style='font-size:large'><b>%1</b></p><p>%2</p>")
                        .arg(tr("Нет данных"),
                             tr("Окно записывает историю выбранного сервера, пока программа работает. "
                                "Все серверы записывает valmora-ctl watch (раздел «History» в README).")));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(40, 40, 40, 40);
    layout->addWidget(noData);
}

void HistoryChartView::setHistory(const QString &server, const QList<HistoryReadings::Step> &steps, qint64 step)
{
    this->server = server;
    this->steps = steps;
    this->step = step;
    noData->setVisible(!hasData());
    relayout();
    update();
}

bool HistoryChartView::hasData() const
{
    return std::any_of(steps.cbegin(), steps.cend(),
                       [](const HistoryReadings::Step &s) { return s.figures.hasData(); });
}

QString HistoryChartView::toolTipAt(const QPointF &point) const
{
    const QRectF &area = chart.playersArea;
    if (!hasData() || point.x() < area.left() || point.x() >= area.right() || point.y() < area.top()
        || point.y() > chart.resourcesArea.bottom())
        return {};
    const int index
        = std::clamp(int((point.x() - area.left()) / area.width() * steps.size()), 0, int(steps.size()) - 1);
    const HistoryReadings::Step &at = steps.at(index);
    return HistoryTexts::step(at.start, step, at.figures);
}

bool HistoryChartView::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const QString text = toolTipAt(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    if (event->type() == QEvent::FontChange)
        relayout();
    return QWidget::event(event);
}

void HistoryChartView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    relayout();
}

void HistoryChartView::relayout()
{
    // The legend's rows as this font draws them, so that all of them fit.
    const QFontMetricsF text(font());
    HistoryChart::LegendMetrics legend;
    legend.entryWidth = [text](const QString &label) { return swatchRoom + text.horizontalAdvance(label) + 14; };
    legend.rowHeight = text.height() + 2;
    chart = HistoryChart::layout(server, steps, step, size(), legend);
}

void HistoryChartView::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    if (!hasData())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor grid(225, 225, 225);

    QFont bold = font();
    bold.setBold(true);
    painter.setFont(bold);
    painter.setPen(Qt::black);
    painter.drawText(QRectF(chart.playersArea.left(), 0, chart.playersArea.width(), 22), Qt::AlignVCenter, chart.title);
    painter.setFont(font());
    const auto areaTitle = [&](const QRectF &area, const QString &title) {
        painter.setPen(Qt::black);
        painter.drawText(QRectF(area.left(), area.top() - 18, area.width(), 16), Qt::AlignBottom, title);
    };
    areaTitle(chart.playersArea, chart.playersTitle);
    areaTitle(chart.resourcesArea, chart.resourcesTitle);

    // Time grid across all three areas, labels under the last.
    const QRectF &bottom = chart.resourcesArea;
    for (const HistoryChart::Tick &tick : qAsConst(chart.timeTicks)) {
        painter.setPen(grid);
        painter.drawLine(QPointF(tick.position, chart.playersArea.top()), QPointF(tick.position, bottom.bottom()));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(tick.position - 50, bottom.bottom() + 2, 100, QFontMetricsF(font()).height()),
                         Qt::AlignHCenter | Qt::AlignTop, tick.label);
    }
    drawScale(painter, chart.playersArea, chart.playerTicks, grid);
    drawScale(painter, chart.resourcesArea, chart.percentTicks, grid);

    // The band, empty where there is no data.
    painter.setPen(Qt::NoPen);
    for (const HistoryChart::Band &band : qAsConst(chart.bands))
        painter.fillRect(band.rect, chartColour(band.colour));
    painter.setPen(QColor(160, 160, 160));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(chart.bandArea);
    // The band's title in the left margin, smaller until it fits there.
    QFont small = font();
    const double room = chart.bandArea.left() - 6;
    const double wide = QFontMetricsF(small).horizontalAdvance(chart.bandTitle);
    small.setPointSizeF(std::max(5.0, small.pointSizeF() * std::min(0.85, room / std::max(1.0, wide))));
    painter.setFont(small);
    painter.setPen(Qt::black);
    painter.drawText(QRectF(0, chart.bandArea.top() - 4, chart.bandArea.left() - 6, chart.bandArea.height() + 8),
                     Qt::AlignRight | Qt::AlignVCenter, chart.bandTitle);
    painter.setFont(font());

    painter.setPen(QColor(120, 120, 120));
    painter.drawRect(chart.playersArea);
    painter.drawRect(chart.resourcesArea);
    painter.save();
    painter.setClipRect(chart.playersArea.adjusted(-2, -2, 2, 2));
    drawLines(painter, chart.playerLines);
    painter.setClipRect(chart.resourcesArea.adjusted(-2, -2, 2, 2));
    drawLines(painter, chart.resourceLines);
    painter.restore();

    // The legend, in the rows the layout gave it.
    // The lines come first in the legend, then the states.
    const double textHeight = QFontMetricsF(font()).height();
    const int lineCount = int(chart.playerLines.size() + chart.resourceLines.size());
    for (int i = 0; i < chart.legend.size(); ++i) {
        const HistoryChart::LegendEntry &entry = chart.legend.at(i);
        const QRectF &place = entry.rect;
        const QRectF swatch(place.left(), place.top() + textHeight / 2 - 4, 16, 8);
        if (i < lineCount) {
            painter.setPen(linePen(entry.colour, entry.dashed));
            painter.drawLine(QPointF(swatch.left(), swatch.center().y()), QPointF(swatch.right(), swatch.center().y()));
        } else if (entry.colour.isEmpty()) {
            painter.setPen(QColor(160, 160, 160));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(swatch);
        } else {
            painter.fillRect(swatch, chartColour(entry.colour));
        }
        painter.setPen(Qt::black);
        painter.drawText(QRectF(place.left() + swatchRoom, place.top(), place.width() - swatchRoom, textHeight),
                         Qt::AlignVCenter, entry.label);
    }
}

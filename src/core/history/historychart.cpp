#include "historychart.h"

#include "core/history/historysteps.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>

using History::Figures;

namespace {

constexpr double marginLeft = 56;
constexpr double marginRight = 24;
constexpr double titleHeight = 40;
constexpr double bandHeight = 14;
constexpr double gap = 22;
constexpr double axisHeight = 20;
// Under the legend's last row.
constexpr double legendPadding = 8;
// The time axis gets a label at most every this many pixels.
constexpr double tickSpacing = 90;

constexpr qint64 tickLengths[]
    = {300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400, 172800, 604800, 1209600, 2592000, 7776000};

// A round scale step (1, 2 or 5 times a power of ten) for at most five ticks up to `top`.
int scaleStep(int top)
{
    for (int power = 1;; power *= 10) {
        for (const int factor : {1, 2, 5}) {
            if (top <= 5 * factor * power)
                return factor * power;
        }
    }
}

std::optional<History::State> mainState(const Figures &figures)
{
    if (figures.samples() == 0)
        return std::nullopt;
    int most = 0;
    for (int i = 1; i < History::StateCount; ++i) {
        if (figures.states.at(i) > figures.states.at(most))
            most = i;
    }
    return History::State(most);
}

// The legend: the lines (players, then resources), then the states.
QList<HistoryChart::LegendEntry> legendEntries()
{
    QList<HistoryChart::LegendEntry> entries = {
        {QStringLiteral("Игроки в среднем"), QStringLiteral("rgb(0, 90, 200)"), false, {}},
        {QStringLiteral("Игроки на пике"), QStringLiteral("rgb(130, 170, 235)"), false, {}},
        {QStringLiteral("Лимит игроков"), QStringLiteral("rgb(60, 60, 60)"), true, {}},
        {QStringLiteral("ЦП"), QStringLiteral("rgb(200, 80, 0)"), false, {}},
        {QStringLiteral("Память"), QStringLiteral("rgb(130, 0, 170)"), false, {}},
        {QStringLiteral("Диск"), QStringLiteral("rgb(0, 140, 140)"), false, {}},
    };
    for (const History::State state :
         {History::Running, History::Starting, History::Off, History::Unknown, History::NoContact})
        entries.append({History::stateName(state), History::stateColour(state), false, {}});
    entries.append({QStringLiteral("Нет данных"), QString(), false, {}});
    return entries;
}

// Flows the entries into rows from the top of the legend, a new row when
// the next entry would pass the chart's right edge; returns the rows.
int flowLegend(QList<HistoryChart::LegendEntry> &entries, double chartWidth, const HistoryChart::LegendMetrics &metrics)
{
    double x = marginLeft;
    int row = 0;
    for (HistoryChart::LegendEntry &entry : entries) {
        const double width = metrics.entryWidth(entry.label);
        if (x + width > chartWidth && x > marginLeft) {
            x = marginLeft;
            ++row;
        }
        entry.rect = QRectF(x, row * metrics.rowHeight, width, metrics.rowHeight);
        x += width;
    }
    return row + 1;
}

} // namespace

HistoryChart HistoryChart::layout(const QString &server, const QList<HistoryReadings::Step> &steps, qint64 step,
                                  const QSizeF &size)
{
    return layout(server, steps, step, size, LegendMetrics());
}

HistoryChart HistoryChart::layout(const QString &server, const QList<HistoryReadings::Step> &steps, qint64 step,
                                  const QSizeF &size, const LegendMetrics &metrics)
{
    HistoryChart chart;
    chart.size = size;
    chart.title = QStringLiteral("История сервера «%1»").arg(server);
    chart.playersTitle = QStringLiteral("Игроки");
    chart.bandTitle = QStringLiteral("Состояние");
    chart.resourcesTitle = QStringLiteral("Ресурсы, %");

    // The legend takes the rows it needs at the bottom (room for two at
    // least, so that the plots keep their height when a label changes), the
    // time axis's labels a row over it, and the plots what is left.
    QList<LegendEntry> legend = legendEntries();
    const int rows = flowLegend(legend, size.width(), metrics);
    const double legendHeight = std::max(2, rows) * metrics.rowHeight + legendPadding;
    const double legendTop = size.height() - legendHeight;
    for (LegendEntry &entry : legend)
        entry.rect.translate(0, legendTop);
    const double axis = std::max(axisHeight, metrics.rowHeight + 2);
    const double width = std::max(1.0, size.width() - marginLeft - marginRight);
    const double plotHeight = std::max(0.0, legendTop - titleHeight - bandHeight - 2 * gap - axis);
    chart.playersArea = QRectF(marginLeft, titleHeight, width, plotHeight * 0.55);
    chart.bandArea = QRectF(marginLeft, chart.playersArea.bottom() + gap / 2, width, bandHeight);
    chart.resourcesArea = QRectF(marginLeft, chart.bandArea.bottom() + gap, width, plotHeight * 0.45);
    if (steps.isEmpty())
        return chart;
    chart.legend = legend;

    const qint64 from = steps.constFirst().start;
    const qint64 to = steps.constLast().start + step;
    const auto xOf = [&](double time) { return marginLeft + (time - double(from)) / double(to - from) * width; };

    // The players' scale reaches the peak and the limit.
    int top = 1;
    for (const HistoryReadings::Step &s : steps)
        top = std::max({top, s.figures.playersMax, s.figures.limit});
    const int unit = scaleStep(top);
    top = (top + unit - 1) / unit * unit;
    const QRectF &players = chart.playersArea;
    const auto playersY = [&](double value) { return players.bottom() - value / top * players.height(); };
    for (int value = 0; value <= top; value += unit)
        chart.playerTicks.append({playersY(value), QString::number(value)});
    const QRectF &resources = chart.resourcesArea;
    const auto percentY = [&](double value) { return resources.bottom() - value / 100 * resources.height(); };
    for (int value = 0; value <= 100; value += 25)
        chart.percentTicks.append({percentY(value), QString::number(value)});

    // A line through the middles of the steps with a value; a lone step is
    // drawn across its width, so that it shows.
    const auto line = [&](const QString &label, const QString &colour, bool dashed,
                          const std::function<std::optional<double>(const Figures &)> &value,
                          const std::function<double(double)> &yOf) {
        Line drawn {label, colour, dashed, {}};
        QList<QPointF> piece;
        const auto close = [&](qint64 lastStart) {
            if (piece.size() == 1) {
                const double y = piece.constFirst().y();
                piece = {QPointF(xOf(double(lastStart)), y), QPointF(xOf(double(lastStart + step)), y)};
            }
            if (!piece.isEmpty())
                drawn.pieces.append(piece);
            piece.clear();
        };
        for (int i = 0; i < steps.size(); ++i) {
            const std::optional<double> v = value(steps.at(i).figures);
            if (!v) {
                close(i > 0 ? steps.at(i - 1).start : 0);
                continue;
            }
            piece.append(QPointF(xOf(double(steps.at(i).start) + double(step) / 2), yOf(*v)));
        }
        close(steps.constLast().start);
        return drawn;
    };
    const auto asDouble = [](std::optional<int> v) { return v ? std::optional<double>(*v) : std::nullopt; };
    // Each line is drawn as its legend entry shows it.
    const auto lineOf = [&](int entry, const std::function<std::optional<double>(const Figures &)> &value,
                            const std::function<double(double)> &yOf) {
        const LegendEntry &style = legend.at(entry);
        return line(style.label, style.colour, style.dashed, value, yOf);
    };
    chart.playerLines = {
        lineOf(
            0, [](const Figures &f) { return f.playersAverage(); }, playersY),
        lineOf(
            1, [&](const Figures &f) { return asDouble(f.playersPeak()); }, playersY),
        lineOf(
            2, [&](const Figures &f) { return asDouble(f.playerLimit()); }, playersY),
    };
    chart.resourceLines = {
        lineOf(
            3, [](const Figures &f) { return f.average(History::Cpu); }, percentY),
        lineOf(
            4, [](const Figures &f) { return f.average(History::Memory); }, percentY),
        lineOf(
            5, [](const Figures &f) { return f.average(History::Disk); }, percentY),
    };

    // The band: the state most of each step was in, runs of one state joined.
    for (const HistoryReadings::Step &s : steps) {
        const std::optional<History::State> state = mainState(s.figures);
        if (!state)
            continue;
        const double left = xOf(double(s.start));
        const double right = xOf(double(s.start + step));
        if (!chart.bands.isEmpty() && chart.bands.constLast().state == *state
            && qFuzzyCompare(chart.bands.constLast().rect.right(), left)) {
            chart.bands.last().rect.setRight(right);
            continue;
        }
        chart.bands.append(
            {QRectF(left, chart.bandArea.top(), right - left, bandHeight), *state, History::stateColour(*state)});
    }

    // Time ticks on round local times, as many as the width has room for.
    qint64 tick = tickLengths[std::size(tickLengths) - 1];
    for (const qint64 length : tickLengths) {
        if (double(to - from) / double(length) * tickSpacing <= width) {
            tick = length;
            break;
        }
    }
    const int offset = QDateTime::fromSecsSinceEpoch(from).offsetFromUtc();
    const bool manyDays = to - from > 86400;
    const QString format = tick >= 86400 ? QStringLiteral("dd.MM")
        : manyDays                       ? QStringLiteral("dd.MM HH:mm")
                                         : QStringLiteral("HH:mm");
    for (qint64 t = HistorySteps::alignedStart(from, tick, offset); t <= to; t += tick) {
        if (t >= from)
            chart.timeTicks.append({xOf(double(t)), QDateTime::fromSecsSinceEpoch(t).toString(format)});
    }
    return chart;
}

#include "historysvg.h"

namespace {

QString n(double value)
{
    return QString::number(value, 'f', 1);
}

QString points(const QList<QPointF> &piece)
{
    QStringList pairs;
    for (const QPointF &point : piece)
        pairs << n(point.x()) + QLatin1Char(',') + n(point.y());
    return pairs.join(QLatin1Char(' '));
}

QString text(double x, double y, const QString &content, const char *anchor = "start", int size = 12)
{
    return QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"%3\" font-size=\"%4\">%5</text>\n")
        .arg(n(x), n(y), QLatin1String(anchor))
        .arg(size)
        .arg(HistorySvg::escaped(content));
}

QString frame(const QRectF &area)
{
    return QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"none\" stroke=\"#999\"/>\n")
        .arg(n(area.x()), n(area.y()), n(area.width()), n(area.height()));
}

QString lines(const QList<HistoryChart::Line> &lines)
{
    QString svg;
    for (const HistoryChart::Line &line : lines) {
        for (const QList<QPointF> &piece : line.pieces) {
            svg += QStringLiteral("<polyline points=\"%1\" fill=\"none\" stroke=\"%2\" stroke-width=\"1.5\"%3/>\n")
                       .arg(points(piece), line.colour,
                            line.dashed ? QStringLiteral(" stroke-dasharray=\"6,3\"") : QString());
        }
    }
    return svg;
}

} // namespace

QString HistorySvg::escaped(const QString &text)
{
    QString out = text.toHtmlEscaped(); // &, <, > and "
    out.replace(QLatin1Char('\''), QStringLiteral("&apos;"));
    return out;
}

QString HistorySvg::document(const HistoryChart &chart)
{
    const double width = chart.size.width();
    const double height = chart.size.height();
    QString svg = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                 "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%2\""
                                 " viewBox=\"0 0 %1 %2\" font-family=\"sans-serif\">\n")
                      .arg(n(width), n(height));
    svg += QStringLiteral("<title>%1</title>\n").arg(escaped(chart.title));
    svg += QStringLiteral("<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n");
    svg += text(chart.playersArea.left(), 24, chart.title, "start", 16);

    // The time grid through all three areas, its labels under the last.
    const QRectF &players = chart.playersArea;
    const QRectF &resources = chart.resourcesArea;
    for (const HistoryChart::Tick &tick : chart.timeTicks) {
        svg += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%1\" y2=\"%3\" stroke=\"#ddd\"/>\n")
                   .arg(n(tick.position), n(players.top()), n(resources.bottom()));
        svg += text(tick.position, resources.bottom() + 15, tick.label, "middle", 11);
    }
    for (const HistoryChart::Tick &tick : chart.playerTicks) {
        svg += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\" stroke=\"#eee\"/>\n")
                   .arg(n(players.left()), n(tick.position), n(players.right()));
        svg += text(players.left() - 6, tick.position + 4, tick.label, "end", 11);
    }
    for (const HistoryChart::Tick &tick : chart.percentTicks) {
        svg += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\" stroke=\"#eee\"/>\n")
                   .arg(n(resources.left()), n(tick.position), n(resources.right()));
        svg += text(resources.left() - 6, tick.position + 4, tick.label, "end", 11);
    }
    svg += text(players.left() + 4, players.top() + 14, chart.playersTitle, "start", 12);
    svg += text(resources.left() + 4, resources.top() + 14, chart.resourcesTitle, "start", 12);
    svg += text(chart.bandArea.left() - 6, chart.bandArea.bottom() - 3, chart.bandTitle, "end", 10);

    for (const HistoryChart::Band &band : chart.bands) {
        svg += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\"/>\n")
                   .arg(n(band.rect.x()), n(band.rect.y()), n(band.rect.width()), n(band.rect.height()), band.colour);
    }
    svg += frame(players) + frame(chart.bandArea) + frame(resources);
    svg += lines(chart.playerLines) + lines(chart.resourceLines);

    // The legend, in the rows the layout gave it; labels on a baseline 14 px down.
    for (const HistoryChart::LegendEntry &entry : chart.legend) {
        const double x = entry.rect.left();
        const double y = entry.rect.top() + 14;
        if (entry.colour.isEmpty())
            svg += QStringLiteral(
                       "<rect x=\"%1\" y=\"%2\" width=\"14\" height=\"10\" fill=\"none\" stroke=\"#999\"/>\n")
                       .arg(n(x), n(y - 9));
        else if (entry.dashed)
            svg += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\" stroke=\"%4\" stroke-width=\"2\""
                                  " stroke-dasharray=\"6,3\"/>\n")
                       .arg(n(x), n(y - 4), n(x + 14), entry.colour);
        else
            svg += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"14\" height=\"10\" fill=\"%3\"/>\n")
                       .arg(n(x), n(y - 9), entry.colour);
        svg += text(x + 18, y, entry.label, "start", 11);
    }
    svg += QStringLiteral("</svg>\n");
    return svg;
}

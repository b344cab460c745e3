#include "serverlistdelegate.h"

#include "history/serverlistmodel.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int padding = 6;
constexpr int dot = 10;
constexpr int sparklineWidth = 72;

void drawSparkline(QPainter *painter, const QRectF &area, const QList<double> &players, const QColor &colour)
{
    double top = 1;
    for (const double value : players)
        top = std::max(top, value);
    QPen pen(colour, 1.2);
    pen.setCosmetic(true);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    const double stepWidth = players.size() > 1 ? area.width() / double(players.size() - 1) : area.width();
    QPainterPath path;
    bool drawing = false;
    for (int i = 0; i < players.size(); ++i) {
        if (players.at(i) < 0) {
            drawing = false; // broken at a gap
            continue;
        }
        const QPointF point(area.left() + i * stepWidth, area.bottom() - players.at(i) / top * area.height());
        if (drawing)
            path.lineTo(point);
        else
            path.moveTo(point);
        drawing = true;
    }
    painter->drawPath(path);
}

} // namespace

QSize ServerListDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    Q_UNUSED(index)
    const QFontMetrics metrics(option.font);
    return {dot + metrics.horizontalAdvance(QStringLiteral("работал 100 % 59 мин назад")) + sparklineWidth
                + 6 * padding,
            2 * metrics.height() + 3 * padding};
}

void ServerListDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    item.text.clear();
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const bool selected = option.state & QStyle::State_Selected;
    const bool stored = index.data(ServerListModel::StoredRole).toBool();
    // Windows' own style draws a light selection and keeps an item's text
    // dark; other styles take the highlighted text's colour.
    const bool lightSelection = style->name() == QLatin1String("windowsvista");
    QColor text = option.palette.color(selected && !lightSelection ? QPalette::HighlightedText : QPalette::Text);
    if (!stored)
        text = option.palette.color(QPalette::Disabled, QPalette::Text);
    const QFontMetrics metrics(option.font);
    const QRect area = option.rect.adjusted(padding, padding, -padding, -padding);
    const int lineHeight = metrics.height();

    // First line: the dot and the name.
    const QColor stateColour = index.data(ServerListModel::StateColourRole).value<QColor>();
    const QRectF dotRect(area.left(), area.top() + (lineHeight - dot) / 2.0, dot, dot);
    if (stateColour.isValid()) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(stored ? stateColour : stateColour.lighter(160));
    } else {
        painter->setPen(text);
        painter->setBrush(Qt::NoBrush);
    }
    painter->drawEllipse(dotRect);
    QFont bold = option.font;
    bold.setBold(true);
    painter->setFont(bold);
    painter->setPen(text);
    const QRect nameRect(area.left() + dot + padding, area.top(), area.width() - dot - padding, lineHeight);
    painter->drawText(nameRect, Qt::AlignVCenter | Qt::AlignLeft,
                      QFontMetrics(bold).elidedText(index.data().toString(), Qt::ElideRight, nameRect.width()));

    // Second line: how long ago, the sparkline, the running share.
    painter->setFont(option.font);
    const int second = area.top() + lineHeight + padding;
    const QString running = index.data(ServerListModel::RunningRole).toString();
    const int runningWidth = metrics.horizontalAdvance(running);
    const QRect agoRect(nameRect.left(), second,
                        area.width() - dot - padding - runningWidth - sparklineWidth - 2 * padding, lineHeight);
    painter->drawText(
        agoRect, Qt::AlignVCenter | Qt::AlignLeft,
        metrics.elidedText(index.data(ServerListModel::AgoRole).toString(), Qt::ElideRight, agoRect.width()));
    const QRectF spark(agoRect.right() + padding, second + 2, sparklineWidth, lineHeight - 4);
    drawSparkline(painter, spark, index.data(ServerListModel::SparklineRole).value<QList<double>>(),
                  stored && !selected ? QColor(0, 90, 200) : text);
    painter->setPen(text);
    painter->drawText(QRect(area.right() - runningWidth, second, runningWidth, lineHeight),
                      Qt::AlignVCenter | Qt::AlignRight, running);
    painter->restore();
}

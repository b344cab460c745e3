#pragma once

#include <QStyledItemDelegate>

// One server of the list in two lines: a dot in its last state's colour and
// its name; how long ago that was, a sparkline of its players and the share
// of the period it was running. Servers stored no longer are greyed.
class ServerListDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

#pragma once

#include <QTreeWidgetItem>

// A row of the players list. The cells keep the texts exactly as the
// service sent them, but numbers sort as numbers: a score of 10 comes after
// 9, a time of "10:05" after "9:30" and "1:00:00" after "59:59".
class PlayerItem : public QTreeWidgetItem
{
public:
    using QTreeWidgetItem::QTreeWidgetItem;

    bool operator<(const QTreeWidgetItem &other) const override;

    // Negative, zero or positive as a sorts before, with or after b.
    static int compareTexts(const QString &a, const QString &b);
};

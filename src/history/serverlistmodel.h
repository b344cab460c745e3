#pragma once

#include "history/historysnapshot.h"

#include <QAbstractListModel>

// Every server at a glance: the stored ones in the window's order, then
// those stored no longer that have history. The name is the display text;
// the other roles feed the list's painting.
class ServerListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        StoredRole = Qt::UserRole + 1, // bool
        StateColourRole, // QColor of the last state; invalid without one
        StateNameRole, // the last state's word; empty without one
        AgoRole, // "5 мин назад"
        RunningRole, // "работал 95 %"
        SparklineRole, // QList<double> of players, negative where there is no data
    };

    explicit ServerListModel(QObject *parent = nullptr);

    void setRows(const QList<HistorySnapshot::Row> &newRows, qint64 readAt);
    int rowOf(const QString &name) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    QList<HistorySnapshot::Row> rows;
    qint64 now = 0;
};

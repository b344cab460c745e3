#include "serverlistmodel.h"

#include "history/chartcolour.h"
#include "history/historytexts.h"

#include <QColor>

ServerListModel::ServerListModel(QObject *parent)
    : QAbstractListModel(parent)
{ }

void ServerListModel::setRows(const QList<HistorySnapshot::Row> &newRows, qint64 readAt)
{
    beginResetModel();
    rows = newRows;
    now = readAt;
    endResetModel();
}

int ServerListModel::rowOf(const QString &name) const
{
    for (int i = 0; i < rows.size(); ++i) {
        if (rows.at(i).summary.name == name)
            return i;
    }
    return -1;
}

int ServerListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(rows.size());
}

QVariant ServerListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rows.size())
        return {};
    const HistorySnapshot::Row &row = rows.at(index.row());
    const auto &last = row.summary.last;
    switch (role) {
    case Qt::DisplayRole:
        return row.summary.name;
    case Qt::ToolTipRole:
    case Qt::AccessibleDescriptionRole: {
        QString text = last ? History::stateName(last->state) + QStringLiteral(", ")
                + HistoryTexts::ago(std::max<qint64>(0, now - last->time))
                            : tr("нет записей");
        text += QStringLiteral("; ") + HistoryTexts::runningShare(row.summary.figures);
        if (!row.summary.stored)
            text += tr("; сервер больше не сохранён");
        return text;
    }
    case StoredRole:
        return row.summary.stored;
    case StateColourRole:
        return last ? chartColour(History::stateColour(last->state)) : QColor();
    case StateNameRole:
        return last ? History::stateName(last->state) : QString();
    case AgoRole:
        return last ? HistoryTexts::ago(std::max<qint64>(0, now - last->time)) : tr("нет записей");
    case RunningRole:
        return HistoryTexts::runningShare(row.summary.figures);
    case SparklineRole:
        return QVariant::fromValue(row.players);
    default:
        return {};
    }
}

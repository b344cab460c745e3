#include "historytexts.h"

#include <QDateTime>
#include <QStringList>

namespace {

QString percent(double share)
{
    return QString::number(qRound(share * 100)) + QStringLiteral(" %");
}

QString decimal(double value)
{
    return QString::number(value, 'f', 1);
}

} // namespace

QString HistoryTexts::ago(qint64 seconds)
{
    if (seconds < 60)
        return tr("только что");
    if (seconds < 3600)
        return tr("%1 мин назад").arg(seconds / 60);
    if (seconds < 86400)
        return tr("%1 ч назад").arg(seconds / 3600);
    return tr("%1 дн. назад").arg(seconds / 86400);
}

QString HistoryTexts::runningShare(const History::Figures &figures)
{
    const std::optional<double> share = figures.share(History::Running);
    return share ? tr("работал %1").arg(percent(*share)) : tr("нет данных");
}

QString HistoryTexts::step(qint64 start, qint64 length, const History::Figures &figures)
{
    const QDateTime from = QDateTime::fromSecsSinceEpoch(start);
    const QDateTime to = QDateTime::fromSecsSinceEpoch(start + length);
    const QString end = from.date() == to.date() || to.time() == QTime(0, 0)
        ? to.toString(QStringLiteral("HH:mm"))
        : to.toString(QStringLiteral("dd.MM.yyyy HH:mm"));
    QStringList lines {from.toString(QStringLiteral("dd.MM.yyyy HH:mm")) + QStringLiteral(" – ") + end};
    if (!figures.hasData()) {
        lines << tr("Нет данных");
        return lines.join(QLatin1Char('\n'));
    }
    for (const History::State state :
         {History::Running, History::Starting, History::Off, History::Unknown, History::NoContact}) {
        const std::optional<double> share = figures.share(state);
        if (share && *share > 0)
            lines << History::stateName(state) + QStringLiteral(": ") + percent(*share);
    }
    if (const std::optional<double> average = figures.playersAverage()) {
        QString players = tr("Игроки: в среднем %1, на пике %2").arg(decimal(*average)).arg(*figures.playersPeak());
        if (const std::optional<int> limit = figures.playerLimit())
            players += tr(" из %1").arg(*limit);
        lines << players;
    }
    const std::pair<History::Resource, QString> resources[] = {
        {History::Cpu, tr("ЦП")},
        {History::Memory, tr("Память")},
        {History::Slots, tr("Слоты")},
        {History::Disk, tr("Диск")},
    };
    for (const auto &[resource, name] : resources) {
        if (const std::optional<double> average = figures.average(resource))
            lines << tr("%1: %2 %, пик %3 %").arg(name, decimal(*average)).arg(*figures.peak(resource));
    }
    return lines.join(QLatin1Char('\n'));
}

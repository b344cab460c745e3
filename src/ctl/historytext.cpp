#include "historytext.h"

#include "ctl/alerttext.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <optional>

using History::Figures;

namespace {

// The states in the order the columns show them.
constexpr History::State columnStates[]
    = {History::Running, History::Starting, History::Off, History::Unknown, History::NoContact};

QString isoTime(qint64 seconds)
{
    return AlertText::isoTime(QDateTime::fromSecsSinceEpoch(seconds));
}

QString localTime(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

double rounded(double value, double unit)
{
    return std::round(value / unit) * unit;
}

QJsonValue json(std::optional<double> value, double unit)
{
    return value ? QJsonValue(rounded(*value, unit)) : QJsonValue(QJsonValue::Null);
}

QJsonValue json(std::optional<int> value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

QJsonValue states(const Figures &figures)
{
    if (figures.samples() == 0)
        return QJsonValue::Null;
    QJsonObject object;
    for (const History::State state : columnStates)
        object.insert(History::stateName(state), rounded(*figures.share(state), 0.0001));
    return object;
}

QString number(std::optional<double> value, int decimals)
{
    return value ? QString::number(*value, 'f', decimals) : QString();
}

QString number(std::optional<int> value)
{
    return value ? QString::number(*value) : QString();
}

QString percent(std::optional<double> share)
{
    return share ? QString::number(qRound(*share * 100)) + QLatin1Char('%') : QString();
}

QString ago(qint64 seconds)
{
    if (seconds < 60)
        return QStringLiteral("только что");
    if (seconds < 3600)
        return QStringLiteral("%1 мин назад").arg(seconds / 60);
    if (seconds < 86400)
        return QStringLiteral("%1 ч назад").arg(seconds / 3600);
    return QStringLiteral("%1 д назад").arg(seconds / 86400);
}

QString stepLength(qint64 seconds)
{
    if (seconds % 86400 == 0)
        return QStringLiteral("%1 д").arg(seconds / 86400);
    if (seconds % 3600 == 0)
        return QStringLiteral("%1 ч").arg(seconds / 3600);
    return QStringLiteral("%1 мин").arg(seconds / 60);
}

// Columns padded to their widest cell; the first one left-aligned, the
// figures right-aligned.
QString aligned(const QList<QStringList> &rows)
{
    QList<int> widths;
    for (const QStringList &row : rows) {
        for (int i = 0; i < row.size(); ++i) {
            if (widths.size() <= i)
                widths.append(0);
            widths[i] = std::max(widths.at(i), int(row.at(i).size()));
        }
    }
    QString text;
    for (const QStringList &row : rows) {
        QString line;
        for (int i = 0; i < row.size(); ++i) {
            if (i > 0)
                line += QStringLiteral("  ");
            line += i == 0 ? row.at(i).leftJustified(widths.at(i)) : row.at(i).rightJustified(widths.at(i));
        }
        text += line.trimmed().isEmpty() ? QString() : line.remove(QRegularExpression(QStringLiteral(" +$")));
        text += QLatin1Char('\n');
    }
    return text;
}

QStringList stateHeads()
{
    QStringList heads;
    for (const History::State state : columnStates)
        heads << History::stateName(state);
    return heads;
}

QStringList shares(const Figures &figures)
{
    QStringList cells;
    for (const History::State state : columnStates)
        cells << percent(figures.share(state));
    return cells;
}

QString csvLine(const QStringList &fields)
{
    QStringList quoted;
    for (const QString &field : fields)
        quoted << HistoryText::csvField(field);
    return quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

QStringList csvShares(const Figures &figures)
{
    QStringList cells;
    for (const History::State state : columnStates)
        cells << number(figures.share(state), 4);
    return cells;
}

QJsonObject top(const HistoryText::Period &period)
{
    return QJsonObject {{QStringLiteral("from"), isoTime(period.from)},
                        {QStringLiteral("to"), isoTime(period.to)},
                        {QStringLiteral("step"), period.step}};
}

} // namespace

QString HistoryText::csvField(const QString &text)
{
    static const QRegularExpression special(QStringLiteral("[,\"\\r\\n]|^\\s|\\s$"));
    if (!text.contains(special))
        return text;
    QString doubled = text;
    doubled.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + doubled + QLatin1Char('"');
}

QString HistoryText::summaryTable(const QList<HistoryReadings::ServerSummary> &rows, const Period &period)
{
    QList<QStringList> cells;
    cells << (QStringList {QStringLiteral("Сервер"), QStringLiteral("Последнее"), QStringLiteral("Когда")}
              + stateHeads()
              + QStringList {QStringLiteral("Игроки ср."), QStringLiteral("Игроки макс."), QStringLiteral("Лимит"),
                             QStringLiteral("ЦП макс."), QStringLiteral("Память макс."), QStringLiteral("Замеров")});
    for (const HistoryReadings::ServerSummary &row : rows) {
        const Figures &f = row.figures;
        QStringList line {row.name + (row.stored ? QString() : QStringLiteral(" (удалён)"))};
        line << (row.last ? History::stateName(row.last->state) : QStringLiteral("нет данных"))
             << (row.last ? ago(period.now - row.last->time) : QString());
        if (f.samples() == 0) {
            QStringList empty(int(std::size(columnStates)) - 1);
            line << QStringLiteral("нет замеров за период") << empty;
        } else {
            line << shares(f);
        }
        line << number(f.playersAverage(), 1) << number(f.playersPeak()) << number(f.playerLimit())
             << number(f.peak(History::Cpu)) << number(f.peak(History::Memory)) << QString::number(f.samples());
        cells << line;
    }
    return QStringLiteral("Все серверы с %1 по %2\n").arg(localTime(period.from), localTime(period.to))
        + aligned(cells);
}

QByteArray HistoryText::summaryJson(const QList<HistoryReadings::ServerSummary> &rows, const Period &period)
{
    QJsonArray servers;
    for (const HistoryReadings::ServerSummary &row : rows) {
        const Figures &f = row.figures;
        const QJsonValue last = row.last
            ? QJsonValue(QJsonObject {{QStringLiteral("time"), isoTime(row.last->time)},
                                      {QStringLiteral("state"), History::stateName(row.last->state)}})
            : QJsonValue(QJsonValue::Null);
        servers.append(QJsonObject {
            {QStringLiteral("name"), row.name},
            {QStringLiteral("stored"), row.stored},
            {QStringLiteral("last"), last},
            {QStringLiteral("samples"), f.samples()},
            {QStringLiteral("states"), states(f)},
            {QStringLiteral("players_avg"), json(f.playersAverage(), 0.01)},
            {QStringLiteral("players_max"), json(f.playersPeak())},
            {QStringLiteral("players_limit"), json(f.playerLimit())},
            {QStringLiteral("cpu_max"), json(f.peak(History::Cpu))},
            {QStringLiteral("memory_max"), json(f.peak(History::Memory))},
        });
    }
    QJsonObject document = top(period);
    document.insert(QStringLiteral("servers"), servers);
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

QString HistoryText::summaryCsv(const QList<HistoryReadings::ServerSummary> &rows)
{
    QString text = csvLine(QStringList {QStringLiteral("name"), QStringLiteral("stored"), QStringLiteral("last_time"),
                                        QStringLiteral("last_state"), QStringLiteral("samples")}
                           + stateHeads()
                           + QStringList {QStringLiteral("players_avg"), QStringLiteral("players_max"),
                                          QStringLiteral("players_limit"), QStringLiteral("cpu_max"),
                                          QStringLiteral("memory_max")});
    for (const HistoryReadings::ServerSummary &row : rows) {
        const Figures &f = row.figures;
        text += csvLine(QStringList {row.name, row.stored ? QStringLiteral("true") : QStringLiteral("false"),
                                     row.last ? isoTime(row.last->time) : QString(),
                                     row.last ? History::stateName(row.last->state) : QString(),
                                     QString::number(f.samples())}
                        + csvShares(f)
                        + QStringList {number(f.playersAverage(), 2), number(f.playersPeak()), number(f.playerLimit()),
                                       number(f.peak(History::Cpu)), number(f.peak(History::Memory))});
    }
    return text;
}

namespace {

const char *const resourceKeys[] = {"cpu", "memory", "slots", "disk"};

QStringList resourceCells(const Figures &f, int decimals)
{
    QStringList cells;
    for (int i = 0; i < History::ResourceCount; ++i)
        cells << number(f.average(History::Resource(i)), decimals) << number(f.peak(History::Resource(i)));
    return cells;
}

} // namespace

QString HistoryText::stepsTable(const QString &server, const QList<HistoryReadings::Step> &steps, const Period &period)
{
    QList<QStringList> cells;
    cells << (QStringList {QStringLiteral("Начало")} + stateHeads()
              + QStringList {QStringLiteral("Игроки ср."), QStringLiteral("Игроки макс."), QStringLiteral("Лимит"),
                             QStringLiteral("ЦП ср."), QStringLiteral("ЦП макс."), QStringLiteral("Память ср."),
                             QStringLiteral("Память макс."), QStringLiteral("Слоты ср."), QStringLiteral("Слоты макс."),
                             QStringLiteral("Диск ср."), QStringLiteral("Диск макс.")});
    for (const HistoryReadings::Step &step : steps) {
        const Figures &f = step.figures;
        QStringList line {localTime(step.start)};
        if (!f.hasData()) {
            line << QStringLiteral("нет данных");
            cells << line;
            continue;
        }
        line << shares(f) << number(f.playersAverage(), 1) << number(f.playersPeak()) << number(f.playerLimit())
             << resourceCells(f, 1);
        cells << line;
    }
    return QStringLiteral("Сервер «%1» с %2 по %3, шаг %4\n")
               .arg(server, localTime(period.from), localTime(period.to), stepLength(period.step))
        + aligned(cells);
}

QByteArray HistoryText::stepsJson(const QString &server, const QList<HistoryReadings::Step> &steps,
                                  const Period &period)
{
    QJsonArray list;
    for (const HistoryReadings::Step &step : steps) {
        const Figures &f = step.figures;
        QJsonObject object {
            {QStringLiteral("time"), isoTime(step.start)},
            {QStringLiteral("samples"), f.samples()},
            {QStringLiteral("states"), states(f)},
            {QStringLiteral("players_avg"), json(f.playersAverage(), 0.01)},
            {QStringLiteral("players_max"), json(f.playersPeak())},
            {QStringLiteral("players_limit"), json(f.playerLimit())},
        };
        for (int i = 0; i < History::ResourceCount; ++i) {
            const QString key = QLatin1String(resourceKeys[i]);
            object.insert(key + QStringLiteral("_avg"), json(f.average(History::Resource(i)), 0.01));
            object.insert(key + QStringLiteral("_max"), json(f.peak(History::Resource(i))));
        }
        list.append(object);
    }
    QJsonObject document = top(period);
    document.insert(QStringLiteral("server"), server);
    document.insert(QStringLiteral("steps"), list);
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

QString HistoryText::stepsCsv(const QList<HistoryReadings::Step> &steps)
{
    QStringList heads {QStringLiteral("time"), QStringLiteral("samples")};
    heads << stateHeads() << QStringLiteral("players_avg") << QStringLiteral("players_max")
          << QStringLiteral("players_limit");
    for (const char *key : resourceKeys)
        heads << QLatin1String(key) + QStringLiteral("_avg") << QLatin1String(key) + QStringLiteral("_max");
    QString text = csvLine(heads);
    for (const HistoryReadings::Step &step : steps) {
        const Figures &f = step.figures;
        text += csvLine(QStringList {isoTime(step.start), QString::number(f.samples())} + csvShares(f)
                        + QStringList {number(f.playersAverage(), 2), number(f.playersPeak()), number(f.playerLimit())}
                        + resourceCells(f, 2));
    }
    return text;
}

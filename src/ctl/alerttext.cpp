#include "alerttext.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace {

QString players(const ServerReading &reading)
{
    if (!reading.reached)
        return QStringLiteral("-/-");
    return QStringLiteral("%1/%2").arg(reading.players).arg(reading.playersMax);
}

QJsonValue known(const ServerReading &reading, const QJsonValue &value)
{
    return reading.reached ? value : QJsonValue(QJsonValue::Null);
}

QJsonObject fields(const StateChange &change)
{
    const ServerReading &now = change.now;
    QJsonObject object {{QStringLiteral("time"), AlertText::isoTime(change.time)},
                        {QStringLiteral("server"), change.server},
                        {QStringLiteral("players"), known(now, now.players)},
                        {QStringLiteral("players_max"), known(now, now.playersMax)},
                        {QStringLiteral("map"), known(now, now.map)}};
    if (change.isAlert()) {
        object.insert(QStringLiteral("from"), change.from);
        object.insert(QStringLiteral("to"), now.state);
    } else {
        object.insert(QStringLiteral("state"), now.state);
    }
    return object;
}

} // namespace

QString AlertText::isoTime(const QDateTime &time)
{
    const int offsetMinutes = time.offsetFromUtc() / 60;
    const int minutes = qAbs(offsetMinutes);
    return time.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")) + (offsetMinutes < 0 ? u'-' : u'+')
        + QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString AlertText::line(const StateChange &change)
{
    QStringList parts {isoTime(change.time), change.server};
    if (change.isAlert())
        parts << change.from;
    parts << change.now.state << players(change.now);
    return parts.join(QLatin1Char('\t')) + QLatin1Char('\n');
}

QByteArray AlertText::jsonLine(const StateChange &change)
{
    return QJsonDocument(fields(change)).toJson(QJsonDocument::Compact) + '\n';
}

QString AlertText::sentence(const StateChange &change)
{
    QString text = QStringLiteral("«%1»: %2 → %3").arg(change.server, change.from, change.now.state);
    if (change.now.reached)
        text += QStringLiteral(", игроков %1").arg(players(change.now));
    return text;
}

QByteArray AlertText::webhookBody(const StateChange &change)
{
    QJsonObject object = fields(change);
    const QString text = sentence(change);
    object.insert(QStringLiteral("content"), text);
    object.insert(QStringLiteral("text"), text);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QList<QPair<QString, QString>> AlertText::environment(const StateChange &change)
{
    const ServerReading &now = change.now;
    const auto ifKnown = [&now](const QString &value) { return now.reached ? value : QString(); };
    return {{QStringLiteral("VALMORA_SERVER"), change.server},
            {QStringLiteral("VALMORA_FROM"), change.from},
            {QStringLiteral("VALMORA_TO"), now.state},
            {QStringLiteral("VALMORA_PLAYERS"), ifKnown(QString::number(now.players))},
            {QStringLiteral("VALMORA_PLAYERS_MAX"), ifKnown(QString::number(now.playersMax))},
            {QStringLiteral("VALMORA_MAP"), ifKnown(now.map)},
            {QStringLiteral("VALMORA_TIME"), isoTime(change.time)}};
}

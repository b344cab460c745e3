#include "replybodies.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace ReplyBodies {

namespace {

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString playTime(int seconds)
{
    return QStringLiteral("%1:%2")
        .arg(seconds / 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

QByteArray status(int players, int variant)
{
    QJsonArray list;
    for (int i = 0; i < players; ++i) {
        const QString name = i % 2 ? QStringLiteral("Игрок_%1_%2").arg(i).arg(variant)
                                   : QStringLiteral("player%1-v%2").arg(i).arg(variant);
        list.append(QJsonObject {{QStringLiteral("name"), name},
                                 {QStringLiteral("score"), (i * 37 + variant * 11) % 250},
                                 {QStringLiteral("time"), playTime(60 + i * 53 + variant * 7)}});
    }
    const QJsonObject about {
        {QStringLiteral("name"), QStringLiteral("Северный форт %1").arg(variant)},
        {QStringLiteral("map"), QStringLiteral("map_%1").arg(variant * 3, 3, 10, QLatin1Char('0'))},
        {QStringLiteral("players"), QString::number(players)},
        {QStringLiteral("playersmax"), QString::number(players + variant + 1)},
        {QStringLiteral("password"), variant % 2 == 1}};
    const QJsonObject address {{QStringLiteral("ip"), QStringLiteral("203.0.113.%1").arg(10 + variant)},
                               {QStringLiteral("c_port"), 27000 + variant}};
    return compact(
        {{QStringLiteral("online"), 1 + variant % 2},
         {QStringLiteral("data"),
          QJsonObject {{QStringLiteral("s"), about}, {QStringLiteral("b"), address}, {QStringLiteral("p"), list}}}});
}

QByteArray maps(int count, int variant)
{
    QJsonArray names;
    for (int i = 0; i < count; ++i)
        names.append(QStringLiteral("map_%1").arg((i + variant) % count, 3, 10, QLatin1Char('0')));
    return compact({{QStringLiteral("maps"), names}});
}

QByteArray resources(int variant)
{
    const int used = 2048 + variant * 512;
    return compact({{QStringLiteral("cpu_proc"), 12 + variant * 30},
                    {QStringLiteral("mem_proc"), used * 100 / 8192},
                    {QStringLiteral("players_proc"), 40 + variant * 20},
                    {QStringLiteral("disk_proc"), 55 + variant},
                    {QStringLiteral("mem_used"), QStringLiteral("%1 MB").arg(used)},
                    {QStringLiteral("mem_quota"), QStringLiteral("8192 MB")},
                    {QStringLiteral("players"), QString::number(13 + variant * 6)},
                    {QStringLiteral("players_max"), QStringLiteral("32")},
                    {QStringLiteral("disk_used"), QStringLiteral("%1 MB").arg(11000 + variant * 10)},
                    {QStringLiteral("disk_quota"), QStringLiteral("20480 MB")}});
}

} // namespace ReplyBodies

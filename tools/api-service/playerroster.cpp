#include "playerroster.h"

#include <QRandomGenerator>

#include <algorithm>

namespace {

const char *const NicknamePool[] = {
    "Rook",  "Шмель", "Nightjar", "Pixel",  "Барсук", "Ghost_42", "Lynx",  "Тихоня", "Orca",  "Sparrow",
    "Гроза", "Mole",  "Yeti",     "Квант",  "Vortex", "Ёжик",     "Saber", "Мирон",  "Blink", "Капитан",
    "Nova",  "Frost", "Сова",     "Tinker", "Zephyr", "Лось",     "Bolt",  "Пилот",  "Comet", "Rusty",
};
constexpr int PoolSize = int(sizeof(NicknamePool) / sizeof(NicknamePool[0]));

bool chance(QRandomGenerator &rng, int percent)
{
    return int(rng.bounded(100)) < percent;
}

} // namespace

PlayerRoster::PlayerRoster(int playerSlots)
    : m_playerSlots(std::max(0, playerSlots))
{ }

void PlayerRoster::clear()
{
    m_players.clear();
}

void PlayerRoster::resetScores()
{
    for (Player &player : m_players)
        player.score = 0;
}

void PlayerRoster::populate(int count, qint64 nowMs, QRandomGenerator &rng)
{
    count = std::min(count, m_playerSlots - this->count());
    for (int i = 0; i < count; ++i) {
        const qint64 playedMs = 30'000 + qint64(rng.bounded(45 * 60'000));
        join(nowMs - playedMs, int(playedMs / 6'000 + rng.bounded(20)), rng);
    }
}

void PlayerRoster::step(qint64 nowMs, int typicalPlayers, QRandomGenerator &rng)
{
    const bool crowded = count() > typicalPlayers;
    if (!m_players.isEmpty() && chance(rng, crowded ? 30 : 8))
        m_players.removeAt(int(rng.bounded(quint32(m_players.size()))));
    if (count() < m_playerSlots && chance(rng, crowded ? 8 : 30))
        join(nowMs, 0, rng);

    for (Player &player : m_players) {
        if (chance(rng, 30))
            player.score += 1 + int(rng.bounded(3));
    }
}

void PlayerRoster::join(qint64 joinedAtMs, int score, QRandomGenerator &rng)
{
    m_players.append(Player {freeName(rng), score, joinedAtMs});
}

QString PlayerRoster::freeName(QRandomGenerator &rng) const
{
    const int first = int(rng.bounded(PoolSize));
    for (int round = 0;; ++round) {
        for (int i = 0; i < PoolSize; ++i) {
            QString name = QString::fromUtf8(NicknamePool[(first + i) % PoolSize]);
            if (round > 0)
                name += QLatin1Char('_') + QString::number(round + 1);
            if (!isOn(name))
                return name;
        }
    }
}

bool PlayerRoster::isOn(const QString &name) const
{
    return std::any_of(m_players.cbegin(), m_players.cend(), [&](const Player &player) { return player.name == name; });
}

QString playTimeText(const Player &player, qint64 nowMs)
{
    const qint64 seconds = std::max<qint64>(0, nowMs - player.joinedAtMs) / 1000;
    return QStringLiteral("%1:%2")
        .arg(seconds / 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

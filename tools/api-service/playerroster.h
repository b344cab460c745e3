#pragma once

#include <QList>
#include <QString>

class QRandomGenerator;

struct Player
{
    QString name;
    int score = 0;
    qint64 joinedAtMs = 0;
};

// The players on one server: who is on, since when and with what score.
// All randomness comes from the generator the caller passes in, so a seeded
// generator gives the same crowd every time.
class PlayerRoster
{
public:
    explicit PlayerRoster(int playerSlots);

    const QList<Player> &players() const { return m_players; }
    int count() const { return int(m_players.size()); }
    int playerSlots() const { return m_playerSlots; }

    void clear();
    void resetScores();

    // Seats `count` players who have been playing for a while already.
    void populate(int count, qint64 nowMs, QRandomGenerator &rng);

    // One step of play: somebody may join or leave, scores grow. The crowd
    // drifts towards `typicalPlayers`.
    void step(qint64 nowMs, int typicalPlayers, QRandomGenerator &rng);

private:
    void join(qint64 joinedAtMs, int score, QRandomGenerator &rng);
    QString freeName(QRandomGenerator &rng) const;
    bool isOn(const QString &name) const;

    int m_playerSlots;
    QList<Player> m_players;
};

// How long a player has been on, as "mm:ss" (minutes may exceed 59).
QString playTimeText(const Player &player, qint64 nowMs);

#pragma once

#include "core/history/historyfigures.h"

#include <QCoreApplication>
#include <QString>

// The history window's wording of times and figures.
class HistoryTexts
{
    Q_DECLARE_TR_FUNCTIONS(HistoryTexts)

public:
    // "только что", "5 мин назад", "3 ч назад", "2 дн. назад".
    static QString ago(qint64 seconds);
    // "работал 95 %", or "нет данных" without status samples.
    static QString runningShare(const History::Figures &figures);
    // Several lines: the step's local time, its state shares, players and resources.
    static QString step(qint64 start, qint64 length, const History::Figures &figures);
};

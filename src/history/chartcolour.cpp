#include "chartcolour.h"

#include <QRegularExpression>

QColor chartColour(const QString &rgb)
{
    static const QRegularExpression form(QStringLiteral("^rgb\\((\\d+), *(\\d+), *(\\d+)\\)$"));
    const QRegularExpressionMatch match = form.match(rgb);
    if (!match.hasMatch())
        return {};
    return QColor(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
}

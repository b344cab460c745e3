#include "apiquery.h"

#include <QUrl>

QByteArray ApiQuery::path(const QString &apiKey, const QString &kind, const QString &parameter, const QString &value)
{
    QByteArray path = "/api.php?token=" + QUrl::toPercentEncoding(apiKey) + "&query=" + QUrl::toPercentEncoding(kind);
    if (!parameter.isEmpty())
        path += '&' + parameter.toUtf8() + '=' + QUrl::toPercentEncoding(value);
    return path;
}

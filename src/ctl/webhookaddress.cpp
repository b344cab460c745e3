#include "webhookaddress.h"

#include <QHostAddress>

namespace {

bool isLoopback(const QString &host)
{
    return host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 || QHostAddress(host).isLoopback();
}

} // namespace

QString WebhookAddress::read(const QString &text, QUrl *url)
{
    const QUrl given(text, QUrl::StrictMode);
    if (!given.isValid() || given.host().isEmpty() || given.isRelative())
        return QStringLiteral("--webhook ждёт адрес вида https://host/path");
    const QString scheme = given.scheme().toLower();
    if (scheme == QLatin1String("http") && !isLoopback(given.host()))
        return QStringLiteral("веб-хук %1 не принят: адрес с секретом передаётся только по https:// "
                              "(http:// — лишь к этой машине: 127.0.0.1, ::1, localhost)")
            .arg(shown(given));
    if (scheme != QLatin1String("https") && scheme != QLatin1String("http"))
        return QStringLiteral("веб-хук принимается только по https://, а не по %1://").arg(scheme);
    *url = given;
    return QString();
}

QString WebhookAddress::shown(const QUrl &url)
{
    return url.toString(QUrl::RemoveUserInfo | QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment);
}

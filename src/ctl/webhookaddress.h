#pragma once

#include <QString>
#include <QUrl>

// Where alerts are posted. A webhook's address often carries a secret
// token in its path or query, so it is taken only where it travels
// encrypted: https://, or http:// to this machine's loopback address. Only
// its scheme, host and port are ever shown.
namespace WebhookAddress {

// Reads `text` into `url`. Returns what is wrong with it, in Russian, or an
// empty text when it may be used.
QString read(const QString &text, QUrl *url);

// "https://host:port", nothing of the path, query or user name.
QString shown(const QUrl &url);

} // namespace WebhookAddress

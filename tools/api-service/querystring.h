#pragma once

#include <QByteArrayView>
#include <QHash>
#include <QString>

#include <optional>

using QueryParameters = QHash<QString, QString>;

// Decodes a percent-encoded query string ("a=1&b=x%2By") into its
// parameters. Every "%XX" is a byte and the bytes are UTF-8; a "+" is a plain
// plus sign, not a space (clients encode a space as "%20" and a plus as "%2B").
// A name without "=" gets an empty value; when a name repeats, the first one
// counts. Returns nothing for a broken "%" escape or bytes that are not UTF-8.
std::optional<QueryParameters> parseQueryString(QByteArrayView encoded);

// Decodes one percent-encoded component as above.
std::optional<QString> decodeQueryComponent(QByteArrayView encoded);

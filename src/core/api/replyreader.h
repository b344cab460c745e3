#pragma once

#include <QByteArray>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

// Lenient reading of API replies. No key is required and no type is
// trusted: a missing key or a value of another type reads as an empty text,
// 0, false, an empty object or an empty list.
namespace ReplyReader {

// Parses a reply body. Any valid JSON document counts as parsed; only a
// top-level object gives a non-empty reply. Returns false for anything that
// is not JSON.
bool parse(const QByteArray &body, QVariantMap *reply);

QString text(const QVariant &value);
int integer(const QVariant &value);
bool boolean(const QVariant &value);
QVariantMap object(const QVariant &value);
QVariantList list(const QVariant &value);
QStringList textList(const QVariant &value);

// Follows a path of keys through nested objects, e.g. {"data", "s", "name"};
// a missing step reads as missing from there on.
QVariant at(const QVariantMap &reply, std::initializer_list<const char *> path);

} // namespace ReplyReader

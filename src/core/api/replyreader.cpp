#include "replyreader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <cmath>
#include <limits>

namespace {

bool isNumber(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}

int clampToInt(double number)
{
    if (std::isnan(number))
        return 0;
    const double truncated = std::trunc(number);
    if (truncated <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    if (truncated >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    return int(truncated);
}

int clampToInt(qlonglong number)
{
    return int(qBound(qlonglong(std::numeric_limits<int>::min()), number, qlonglong(std::numeric_limits<int>::max())));
}

} // namespace

bool ReplyReader::parse(const QByteArray &body, QVariantMap *reply)
{
    reply->clear();
    // Qt's parser takes only objects and arrays at the top level; wrapping
    // the body in an array lets a lone scalar through as well. The body is
    // one JSON document exactly when the wrapper holds exactly one value.
    QJsonParseError error;
    const QJsonDocument wrapped = QJsonDocument::fromJson('[' + body + ']', &error);
    if (error.error != QJsonParseError::NoError || !wrapped.isArray() || wrapped.array().size() != 1)
        return false;
    const QJsonValue document = wrapped.array().at(0);
    if (document.isObject())
        *reply = document.toObject().toVariantMap();
    return true;
}

QString ReplyReader::text(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QMetaType::Double:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    default:
        return isNumber(value) ? value.toString() : QString();
    }
}

int ReplyReader::integer(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QString: {
        bool ok = false;
        const qlonglong number = value.toString().toLongLong(&ok, 10);
        return ok ? clampToInt(number) : 0;
    }
    case QMetaType::Bool:
        return value.toBool() ? 1 : 0;
    case QMetaType::Double:
        return clampToInt(value.toDouble());
    default:
        return isNumber(value) ? clampToInt(value.toLongLong()) : 0;
    }
}

bool ReplyReader::boolean(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QString: {
        const QString lower = value.toString().toLower();
        return !(lower.isEmpty() || lower == QLatin1String("0") || lower == QLatin1String("false"));
    }
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Double:
        return value.toDouble() != 0.0;
    default:
        return isNumber(value) && value.toLongLong() != 0;
    }
}

QVariantMap ReplyReader::object(const QVariant &value)
{
    return value.typeId() == QMetaType::QVariantMap ? value.toMap() : QVariantMap();
}

QVariantList ReplyReader::list(const QVariant &value)
{
    return value.typeId() == QMetaType::QVariantList ? value.toList() : QVariantList();
}

QStringList ReplyReader::textList(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString)
        return {value.toString()};
    QStringList texts;
    const QVariantList items = list(value);
    for (const QVariant &item : items)
        texts << text(item);
    return texts;
}

QVariant ReplyReader::at(const QVariantMap &reply, std::initializer_list<const char *> path)
{
    QVariantMap current = reply;
    QVariant found;
    auto step = path.begin();
    while (step != path.end()) {
        found = current.value(QString::fromUtf8(*step));
        if (++step != path.end())
            current = object(found);
    }
    return found;
}

#include "querystring.h"

#include <QStringDecoder>

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

std::optional<QString> decodeQueryComponent(QByteArrayView encoded)
{
    QByteArray bytes;
    bytes.reserve(encoded.size());
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        const char c = encoded.at(i);
        if (c != '%') {
            bytes.append(c);
            continue;
        }
        if (i + 2 >= encoded.size())
            return std::nullopt;
        const int high = hexValue(encoded.at(i + 1));
        const int low = hexValue(encoded.at(i + 2));
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes.append(char(high * 16 + low));
        i += 2;
    }

    QStringDecoder toUtf16(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = toUtf16(bytes);
    if (toUtf16.hasError())
        return std::nullopt;
    return text;
}

std::optional<QueryParameters> parseQueryString(QByteArrayView encoded)
{
    QueryParameters parameters;
    qsizetype begin = 0;
    while (begin <= encoded.size()) {
        qsizetype end = encoded.indexOf('&', begin);
        if (end < 0)
            end = encoded.size();
        const QByteArrayView pair = encoded.sliced(begin, end - begin);
        begin = end + 1;
        if (pair.isEmpty())
            continue;

        const qsizetype equals = pair.indexOf('=');
        const auto name = decodeQueryComponent(equals < 0 ? pair : pair.first(equals));
        const auto value = decodeQueryComponent(equals < 0 ? QByteArrayView() : pair.sliced(equals + 1));
        if (!name || !value)
            return std::nullopt;
        if (!parameters.contains(*name))
            parameters.insert(*name, *value);
    }
    return parameters;
}

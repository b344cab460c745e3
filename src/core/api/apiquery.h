#pragma once

#include <QByteArray>
#include <QString>

// The queries of the hosting API, as the window and the command-line tool
// both send them: GET /api.php with the API key, the kind of query and at
// most one parameter, every value percent-encoded.
namespace ApiQuery {

inline const QString status = QStringLiteral("status");
inline const QString start = QStringLiteral("start");
inline const QString stop = QStringLiteral("stop");
inline const QString restart = QStringLiteral("restart");
inline const QString maps = QStringLiteral("getmaps");
inline const QString resources = QStringLiteral("getresources");
inline const QString changeMap = QStringLiteral("changelevel"); // parameter "map"
inline const QString console = QStringLiteral("consolecmd"); // parameter "cmd"

inline const QString mapParameter = QStringLiteral("map");
inline const QString commandParameter = QStringLiteral("cmd");

// "/api.php?token=KEY&query=KIND", followed by "&NAME=VALUE" when a
// parameter is named. Values are encoded as UTF-8 with every byte but
// letters, digits and "-._~" escaped (a space as %20).
QByteArray path(const QString &apiKey, const QString &kind, const QString &parameter = QString(),
                const QString &value = QString());

} // namespace ApiQuery

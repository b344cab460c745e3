#include "apirequestrouter.h"

ApiRequestRouter::ApiRequestRouter(HostingApi &api)
    : m_api(api)
{ }

ApiReply ApiRequestRouter::answer(bool isGet, const QString &path, QByteArrayView encodedQuery)
{
    if (path != QLatin1String(Path)) {
        return ApiReply {
            400, HostingApi::errorBody(QStringLiteral("bad_request"), QStringLiteral("Unknown path")), {}, {}};
    }
    if (!isGet) {
        return ApiReply {
            405, HostingApi::errorBody(QStringLiteral("bad_request"), QStringLiteral("Only GET is served")), {}, {}};
    }
    const std::optional<QueryParameters> parameters = parseQueryString(encodedQuery);
    if (!parameters) {
        return ApiReply {400,
                         HostingApi::errorBody(QStringLiteral("bad_request"), QStringLiteral("Malformed query string")),
                         {},
                         {}};
    }
    return m_api.handle(*parameters);
}

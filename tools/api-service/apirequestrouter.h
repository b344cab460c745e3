#pragma once

#include "hostingapi.h"

// The HTTP side of the web API reduced to what it needs: the method, the
// path and the raw query string. Only "GET /api.php" is served; any other
// path gets 400, any other method 405, and a query string that does not
// decode gets 400, each with a JSON error body.
class ApiRequestRouter
{
public:
    static constexpr char Path[] = "/api.php";

    explicit ApiRequestRouter(HostingApi &api);

    ApiReply answer(bool isGet, const QString &path, QByteArrayView encodedQuery);

private:
    HostingApi &m_api;
};

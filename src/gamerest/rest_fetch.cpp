#include "gamerest/rest_fetch.h"

#include "feed/poster.h"
#include "platform/http.h"

namespace korvane {

std::string restGet(const std::wstring& path) {
    HttpRequest req;
    req.host = L"localhost";
    req.port = 6397;
    req.verb = "GET";
    req.path = path;
    req.userAgent = CompanionUserAgent;
    req.noProxy = true;
    req.resolveTimeoutMs = 1000;
    req.connectTimeoutMs = 1000;
    req.sendTimeoutMs = 2000;
    req.receiveTimeoutMs = 2000;
    req.readBodyOnSuccess = true;
    req.bodyLimit = 65536;
    HttpResponse r = httpExchange(req);
    if (r.failedAt != HttpStage::Done) return {};
    return r.body;
}

} // namespace korvane

#include "gamerest/rest_fetch.h"

#include "feed/poster.h"
#include "platform/http.h"

namespace korvane {

std::string restGet(const std::wstring& path, uint16_t* status) {
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
    bool answered = r.failedAt == HttpStage::Done;
    if (status) *status = answered ? uint16_t(r.status) : 0;
    if (!answered) return {};
    return r.body;
}

} // namespace korvane

#include "gamerest/rest_fetch.h"

#include "core/build_info.h"
#include "feed/poster.h"
#include "platform/http.h"

namespace korvane {

RestReply restGet(const std::wstring& path) {
    HttpRequest req;
    req.caller = HttpCaller::Game;
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
    // A game that sends its answer a byte at a time would otherwise hold the
    // poller for as long as it likes, and the values it keeps would go stale.
    req.totalTimeoutMs = BuildDeadlines.restMs;
    req.readBodyOnSuccess = true;
    // One byte past the limit tells an answer of exactly the limit from a
    // larger one; an answer that declares more is not read at all.
    req.bodyLimit = RestAnswerLimit + 1;
    req.skipDeclaredOversize = true;
    HttpResponse r = httpExchange(req);
    RestReply reply;
    if (r.failedAt != HttpStage::Done) return reply;
    reply.status = uint16_t(r.status);
    if (r.body.size() > RestAnswerLimit ||
        (r.contentLength >= 0 && uint64_t(r.contentLength) > RestAnswerLimit)) {
        reply.dropped = true;
        reply.droppedBytes = r.contentLength > 0 ? uint64_t(r.contentLength) : 0;
        return reply;
    }
    reply.body = std::move(r.body);
    return reply;
}

std::string droppedSizeText(const RestReply& reply) {
    if (reply.droppedBytes == 0) return "more than 16 MiB";
    std::string digits = std::to_string(reply.droppedBytes), out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out + " bytes";
}

} // namespace korvane

#include "update/download.h"

#include "core/build_info.h"
#include "platform/clock.h"
#include "platform/crypto.h"
#include "platform/http.h"
#include "update/manifest.h"

namespace korvane {

namespace {

bool isRedirect(uint32_t status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Where a redirect leads: an https address, or a path on the same host.
// Anything else (http above all) is not followed.
bool redirectTarget(const std::string& location, std::wstring& host, std::wstring& path) {
    if (location.size() > 1 && location[0] == '/' && location[1] != '/') {
        path = utf8ToWide(location);
        return true;
    }
    return splitHttpsUrl(location, host, path);
}

// The exchange's failure as the user reads it; empty when it got an answer.
std::string failureText(const HttpResponse& r) {
    switch (r.failedAt) {
    case HttpStage::Start:
        return "could not start the download (err " + std::to_string(r.error) + ")";
    case HttpStage::Open:
        return "WinHttpOpen failed";
    case HttpStage::Connect:
        return "connect failed";
    case HttpStage::OpenRequest:
        return "open request failed";
    case HttpStage::Send:
    case HttpStage::Receive:
        return r.tlsValidationFailed ? TlsFailureText
                                     : "request failed (err " + std::to_string(r.error) + ")";
    case HttpStage::Done:
        break;
    }
    return {};
}

} // namespace

bool httpsGet(const std::wstring& host, const std::wstring& path, std::string& body,
              std::string& error, size_t limit) {
    body.clear();
    HttpRequest req;
    req.caller = HttpCaller::Download;
    req.secure = true;
    req.host = host;
    req.port = 443;
    req.path = path;
    req.userAgent = std::string("KorvaneCompanion/") + BuildVersion;
    req.resolveTimeoutMs = 5000;
    req.connectTimeoutMs = 5000;
    req.sendTimeoutMs = 15000;
    req.receiveTimeoutMs = 30000;
    req.bodyLimit = limit + 1;
    req.manualRedirects = true;
    // However slowly a server sends, a download gives up in the end.
    const uint64_t deadline = tickCountMs() + uint64_t(BuildDeadlines.downloadMs);
    for (int redirects = 0;; ++redirects) {
        uint64_t now = tickCountMs();
        req.totalTimeoutMs = now < deadline ? int(deadline - now) : 1;
        HttpResponse r = httpExchange(req);
        if (r.deadlinePassed) {
            error = "gave up after " + deadlineText(BuildDeadlines.downloadMs);
            return false;
        }
        if (r.failedAt != HttpStage::Done) {
            error = failureText(r);
            return false;
        }
        if (isRedirect(r.status) && !r.location.empty()) {
            if (!redirectTarget(r.location, req.host, req.path)) {
                error = "refused a redirect to a non-https address";
                return false;
            }
            if (redirects == RedirectLimit) {
                error = "more than " + std::to_string(RedirectLimit) + " redirects";
                return false;
            }
            continue;
        }
        if (r.status != 200) {
            error = "HTTP " + std::to_string(r.status);
            return false;
        }
        body = std::move(r.body);
        return true;
    }
}

bool fetchManifest(const std::wstring& host, const std::wstring& path, std::string& text,
                   std::string& error) {
    if (!httpsGet(host, path, text, error, ManifestLimit)) return false;
    if (text.size() <= ManifestLimit) return true;
    text.clear();
    error = "the manifest is larger than 64 KiB";
    return false;
}

std::string sha256Hex(const std::string& data) {
    unsigned char digest[32];
    if (!sha256Digest(data.data(), data.size(), digest)) return {};
    static const char hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned char b : digest) {
        text += hex[b >> 4];
        text += hex[b & 15];
    }
    return text;
}

} // namespace korvane

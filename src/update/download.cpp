#include "update/download.h"

#include "core/build_info.h"
#include "platform/crypto.h"
#include "platform/http.h"

namespace korvane {

bool httpsGet(const std::wstring& host, const std::wstring& path, std::string& body,
              std::string& error) {
    body.clear();
    HttpRequest req;
    req.secure = true;
    req.host = host;
    req.port = 443;
    req.path = path;
    req.userAgent = std::string("KorvaneCompanion/") + BuildVersion;
    req.resolveTimeoutMs = 5000;
    req.connectTimeoutMs = 5000;
    req.sendTimeoutMs = 15000;
    req.receiveTimeoutMs = 30000;
    req.bodyLimit = DownloadBodyLimit + 1;
    HttpResponse r = httpExchange(req);
    switch (r.failedAt) {
    case HttpStage::Open:
        error = "WinHttpOpen failed";
        return false;
    case HttpStage::Connect:
        error = "connect failed";
        return false;
    case HttpStage::OpenRequest:
        error = "open request failed";
        return false;
    case HttpStage::Send:
    case HttpStage::Receive:
        error = r.tlsValidationFailed ? TlsFailureText
                                      : "request failed (err " + std::to_string(r.error) + ")";
        return false;
    case HttpStage::Done:
        break;
    }
    if (r.status != 200) {
        error = "HTTP " + std::to_string(r.status);
        return false;
    }
    body = std::move(r.body);
    return true;
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

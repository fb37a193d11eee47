#include "feed/poster.h"

#include "core/build_info.h"
#include "core/format.h"
#include "core/strings.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace korvane {

std::string& lastPostError() {
    static std::string error;
    return error;
}

namespace {

std::string stepFailure(const HttpResponse& r) {
    const char* what = "";
    switch (r.failedAt) {
    case HttpStage::Start:
        what = "could not start the request";
        break;
    case HttpStage::Open:
        what = "WinHttpOpen failed";
        break;
    case HttpStage::Connect:
        what = "connect to host failed";
        break;
    case HttpStage::OpenRequest:
        what = "open request failed";
        break;
    case HttpStage::Send:
        what = "send failed";
        break;
    case HttpStage::Receive:
        what = "no response";
        break;
    case HttpStage::Done:
        break;
    }
    return std::string(what) + " (err " + std::to_string(r.error) + ")";
}

// Up to 60 bytes either side of the position the service complained about,
// with ">>>" before the byte itself; anything not printable ASCII is shown as
// \xNN so the status screen stays one clean line.
std::string positionSnippet(const std::string& body, const std::string& sent) {
    const std::string phrase = "at position ";
    size_t at = body.find(phrase);
    if (body.size() < 12 || at == std::string::npos) return {};
    // Read as atoi reads: white space, a sign, digits. A position past the
    // end keeps its own window start, so the text shows which bytes the
    // service meant and that the document ends before them; only a negative
    // one is taken as 0, to keep the window inside the document.
    long long size = (long long)sent.size();
    long long pos = std::max(0LL, std::strtoll(body.c_str() + at + phrase.size(), nullptr, 10));
    long long start = pos <= 60 ? 0 : pos - 60;
    long long end = pos >= size - 60 ? size : pos + 60;
    std::string snippet;
    for (long long i = start; i < end; ++i) {
        if (i == pos) snippet += ">>>";
        unsigned char b = static_cast<unsigned char>(sent[size_t(i)]);
        if (b >= 0x20 && b <= 0x7E) {
            snippet += char(b);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            snippet += hex;
        }
    }
    return "\n         bytes " + std::to_string(start) + "-" + std::to_string(end) + ": " + snippet;
}

} // namespace

std::string postDeadlineText() {
    return "no answer within " + deadlineText(BuildDeadlines.postMs);
}

std::string describePostResult(const HttpResponse& r, const std::string& sent) {
    if (r.deadlinePassed) return postDeadlineText();
    if (r.failedAt != HttpStage::Done) return stepFailure(r);
    if (r.status >= 200 && r.status <= 299) return {};
    std::string text = "HTTP " + std::to_string(r.status);
    if (!r.body.empty()) text += " \xE2\x80\x94 " + shownText(r.body.substr(0, 200));
    text += positionSnippet(r.body, sent);
    return text;
}

namespace {

HttpRequest liveRequest(const std::string& sent) {
    HttpRequest req;
    req.secure = true;
    req.host = ServiceHost;
    req.port = ServicePort;
    req.verb = "POST";
    req.path = L"/api/live";
    req.userAgent = CompanionUserAgent;
    req.headers = "Content-Type: application/json\r\n";
    req.body = sent;
    req.readBodyOnSuccess = false;
    req.bodyLimit = 400;
    // WinHTTP's own time-outs (60 and 90 s by default) would keep a post
    // given up on at its deadline waiting long after it; these end it soon
    // after, and never before the deadline has spoken.
    req.resolveTimeoutMs = req.connectTimeoutMs = req.sendTimeoutMs = req.receiveTimeoutMs =
        2 * BuildDeadlines.postMs;
    req.totalTimeoutMs = BuildDeadlines.postMs;
    return req;
}

} // namespace

bool postLive(const std::string& document) {
    lastPostError().clear();
    std::string sent = document;
    neutralizeNonFinite(sent);
    HttpResponse r = httpExchange(liveRequest(sent));
    // One rule for the log's verdict and the screen: a post went through
    // exactly when there is nothing to say about it.
    lastPostError() = describePostResult(r, sent);
    return lastPostError().empty();
}

} // namespace korvane

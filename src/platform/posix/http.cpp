#include "platform/http.h"

#include "platform/text.h"

#include <algorithm>
#include <curl/curl.h>
#include <mutex>
#include <openssl/crypto.h>

namespace korvane {

namespace {

struct Sink {
    CURL* curl = nullptr;
    const HttpRequest* req = nullptr;
    std::string body;
    bool stoppedOnPurpose = false;
};

size_t onData(char* data, size_t size, size_t count, void* user) {
    Sink& sink = *static_cast<Sink*>(user);
    size_t n = size * count;
    if (!sink.req->readBodyOnSuccess) {
        long status = 0;
        curl_easy_getinfo(sink.curl, CURLINFO_RESPONSE_CODE, &status);
        if (status >= 200 && status <= 299) {
            // A 2xx body is never read: the exchange ends here, so a body
            // that never ends cannot hold the call.
            sink.stoppedOnPurpose = true;
            return 0;
        }
    }
    if (sink.body.empty()) {
        // The declared length, when there is one, says at once whether the
        // body is wanted, and how much room it needs.
        curl_off_t declared = -1;
        curl_easy_getinfo(sink.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &declared);
        if (sink.req->skipDeclaredOversize && declared > curl_off_t(sink.req->bodyLimit)) {
            sink.stoppedOnPurpose = true;
            return 0;
        }
        if (declared > 0) sink.body.reserve(std::min(size_t(declared), sink.req->bodyLimit));
    }
    if (sink.body.size() >= sink.req->bodyLimit) {
        sink.stoppedOnPurpose = true;
        return 0;
    }
    sink.body.append(data, n);
    if (sink.body.size() >= sink.req->bodyLimit) {
        // The crossing chunk stays whole; nothing after it is read.
        sink.stoppedOnPurpose = true;
        return 0;
    }
    return n;
}

// Which step a failed transfer corresponds to, so failures read the same on
// both platforms: a failure once the request went out (no answer, a reply
// that is no HTTP, a connection cut) is "receive", everything before it
// (name, connection, TLS) is "send".
HttpStage stageOf(CURL* curl, CURLcode rc) {
    long sent = 0;
    curl_easy_getinfo(curl, CURLINFO_REQUEST_SIZE, &sent);
    if (sent > 0) return HttpStage::Receive;
    if (rc == CURLE_UNSUPPORTED_PROTOCOL || rc == CURLE_URL_MALFORMAT) return HttpStage::Connect;
    return HttpStage::Send;
}

// Building the certificate store from the system bundle costs far more than
// the TLS handshake itself; libcurl caches it in the multi handle, so each
// thread keeps one. Each thread also keeps the TLS sessions the servers gave
// it, so the next connection resumes one instead of a full handshake.
// Connections are still opened and closed per call. Nothing here is shared
// between threads, so no lock is needed.
struct ThreadMulti {
    CURLM* multi = curl_multi_init();
    CURLSH* share = curl_share_init();
    ThreadMulti() {
        if (share) curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    }
    ~ThreadMulti() {
        if (multi) curl_multi_cleanup(multi);
        if (share) curl_share_cleanup(share);
    }
};

ThreadMulti& threadMulti() {
    thread_local ThreadMulti holder;
    return holder;
}

CURLcode perform(CURL* curl) {
    CURLM* multi = threadMulti().multi;
    if (!multi) return curl_easy_perform(curl);
    if (curl_multi_add_handle(multi, curl) != CURLM_OK) return CURLE_FAILED_INIT;
    int running = 1;
    while (running) {
        if (curl_multi_perform(multi, &running) != CURLM_OK) break;
        if (running && curl_multi_poll(multi, nullptr, 0, 1000, nullptr) != CURLM_OK) break;
    }
    CURLcode rc = CURLE_RECV_ERROR;
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &left))
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == curl) rc = msg->data.result;
    curl_multi_remove_handle(multi, curl);
    return rc;
}

} // namespace

void httpGlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] {
        // OpenSSL would otherwise free its tables from an exit handler while
        // the REST poller may still be using them. The program is ended from
        // outside and tears nothing down, so neither does OpenSSL.
        OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr);
        curl_global_init(CURL_GLOBAL_DEFAULT);
    });
}

namespace {

// libcurl would add "Accept: */*" and, for larger bodies, "Expect:
// 100-continue"; the empty forms keep the request what the program says.
curl_slist* requestHeaders(const HttpRequest& req) {
    curl_slist* headers = curl_slist_append(nullptr, "Accept:");
    headers = curl_slist_append(headers, "Expect:");
    size_t start = 0;
    while (start < req.headers.size()) {
        size_t end = req.headers.find("\r\n", start);
        if (end == std::string::npos) end = req.headers.size();
        if (end > start)
            headers = curl_slist_append(headers, req.headers.substr(start, end - start).c_str());
        start = end + 2;
    }
    return headers;
}

// No byte for the receive time-out ends the exchange, as a receive time-out
// does on Windows. Left at zero, the time-outs are WinHTTP's documented
// initial values (60 s to connect, 30 s to receive), not libcurl's (no
// limit), so a service that takes the request and never answers cannot hold
// the program for good.
void setTimeouts(CURL* curl, const HttpRequest& req) {
    bool defaults = !req.resolveTimeoutMs && !req.connectTimeoutMs && !req.sendTimeoutMs &&
                    !req.receiveTimeoutMs;
    long connectMs = defaults ? 60000 : long(req.resolveTimeoutMs + req.connectTimeoutMs);
    long receiveMs = defaults ? 30000 : long(req.receiveTimeoutMs);
    if (connectMs) curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, connectMs);
    if (req.totalTimeoutMs > 0)
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, long(req.totalTimeoutMs));
    if (receiveMs) {
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, (receiveMs + 999) / 1000);
    }
}

void setRequest(CURL* curl, const HttpRequest& req, const std::string& url, curl_slist* headers,
                Sink& sink) {
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_USERAGENT, req.userAgent.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    // Trust comes from the system bundle file alone. Debian's build also names
    // the hashed folder of the same certificates, which would stop libcurl
    // from caching the store between calls.
    curl_easy_setopt(curl, CURLOPT_CAPATH, nullptr);
    if (CURLSH* share = threadMulti().share) curl_easy_setopt(curl, CURLOPT_SHARE, share);
    curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onData);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    if (req.noProxy) curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    if (std::string(req.verb) == "POST") {
        curl_easy_setopt(curl, CURLOPT_POST, 1L);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, req.body.data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(req.body.size()));
    } else {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, req.verb);
    }
    setTimeouts(curl, req);
}

void readOutcome(CURL* curl, CURLcode rc, const HttpRequest& req, Sink& sink, HttpResponse& r) {
    curl_off_t spent = 0;
    curl_easy_getinfo(curl, CURLINFO_TOTAL_TIME_T, &spent);
    // libcurl times the whole operation from a moment a little before the
    // transfer's own clock starts, so the time it reports may fall short of
    // the limit by a few milliseconds; a stall (no byte for the receive
    // time-out) stops far earlier or far later than that.
    bool expired = rc == CURLE_OPERATION_TIMEDOUT && req.totalTimeoutMs > 0 &&
                   spent + 250000 >= curl_off_t(req.totalTimeoutMs) * 1000;
    // A body that stalls or breaks off is a failure, whatever arrived of it:
    // a cut manifest or answer must never be taken for a whole one.
    if (rc == CURLE_OK || (rc == CURLE_WRITE_ERROR && sink.stoppedOnPurpose)) {
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        r.status = uint32_t(status);
        curl_off_t declared = -1; // libcurl's -1 is ours too: none declared
        curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &declared);
        r.contentLength = int64_t(declared);
        if (curl_header* h = nullptr;
            status >= 300 && status <= 399 &&
            curl_easy_header(curl, "Location", 0, CURLH_HEADER, -1, &h) == CURLHE_OK)
            r.location = h->value;
        r.body = std::move(sink.body);
    } else {
        r.failedAt = expired ? HttpStage::Receive : stageOf(curl, rc);
        r.error = unsigned(rc);
        r.tlsValidationFailed = rc == CURLE_PEER_FAILED_VERIFICATION;
        r.deadlinePassed = expired;
    }
}

} // namespace

HttpResponse httpExchange(const HttpRequest& req) {
    httpGlobalInit();

    HttpResponse r;
    CURL* curl = curl_easy_init();
    if (!curl) {
        r.failedAt = HttpStage::Open;
        r.error = CURLE_FAILED_INIT;
        return r;
    }
    std::string url = std::string(req.secure ? "https://" : "http://") + wideToUtf8(req.host) +
                      ":" + std::to_string(req.port) + wideToUtf8(req.path);
    Sink sink;
    sink.curl = curl;
    sink.req = &req;
    curl_slist* headers = requestHeaders(req);
    setRequest(curl, req, url, headers, sink);
    readOutcome(curl, perform(curl), req, sink, r);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return r;
}

} // namespace korvane

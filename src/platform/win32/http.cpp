#include "platform/http.h"

#include "platform/process.h"
#include "platform/text.h"
#include "platform/win32/system_library.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>

#include <windows.h>
#include <winhttp.h>

namespace korvane {

namespace {

std::wstring widen(const std::string& s) {
    return std::wstring(s.begin(), s.end()); // ASCII: agent, verb, headers
}

// Closes whatever was opened, request first, on every path.
struct Handles {
    HINTERNET session = nullptr, connection = nullptr, request = nullptr;
    ~Handles() {
        if (request) WINHTTP_CALL(WinHttpCloseHandle)(request);
        if (connection) WINHTTP_CALL(WinHttpCloseHandle)(connection);
        if (session) WINHTTP_CALL(WinHttpCloseHandle)(session);
    }
};

HttpResponse failed(HttpStage stage) {
    HttpResponse r;
    r.failedAt = stage;
    r.error = GetLastError();
    r.tlsValidationFailed = r.error == ERROR_WINHTTP_SECURE_FAILURE;
    return r;
}

bool is2xx(DWORD status) {
    return status >= 200 && status <= 299;
}

enum class BodyRead { Whole, Failed, Expired };

// Reads until the body ends, the limit is reached or the deadline (a tick
// count, 0 for none) has passed.
BodyRead readBody(HINTERNET request, size_t limit, ULONGLONG deadline, std::string& body) {
    while (body.size() < limit) {
        if (deadline && GetTickCount64() >= deadline) return BodyRead::Expired;
        DWORD available = 0;
        if (!WINHTTP_CALL(WinHttpQueryDataAvailable)(request, &available)) return BodyRead::Failed;
        if (available == 0) break;
        std::string chunk(available, '\0');
        DWORD got = 0;
        if (!WINHTTP_CALL(WinHttpReadData)(request, chunk.data(), available, &got))
            return BodyRead::Failed;
        body.append(chunk.data(), got);
    }
    return BodyRead::Whole;
}

std::string headerText(HINTERNET request, DWORD which) {
    DWORD size = 0;
    WINHTTP_CALL(WinHttpQueryHeaders)
    (request, which, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
     WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return {};
    std::wstring text(size / sizeof(wchar_t), L'\0');
    if (!WINHTTP_CALL(WinHttpQueryHeaders)(request, which, WINHTTP_HEADER_NAME_BY_INDEX,
                                           text.data(), &size, WINHTTP_NO_HEADER_INDEX))
        return {};
    text.resize(size / sizeof(wchar_t));
    return wideToUtf8(text);
}

} // namespace

void httpGlobalInit() {
    // WinHTTP needs no process-wide set-up.
}

namespace {

// Opens the session, the connection and the request with the caller's
// time-outs; the failure, with its error, when one of them cannot be opened.
HttpResponse openRequest(const HttpRequest& req, Handles& h) {
    std::wstring agent = widen(req.userAgent);
    h.session = WINHTTP_CALL(WinHttpOpen)(agent.c_str(),
                                          req.noProxy ? WINHTTP_ACCESS_TYPE_NO_PROXY
                                                      : WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                          WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (!h.session) return failed(HttpStage::Open);
    if (req.resolveTimeoutMs || req.connectTimeoutMs || req.sendTimeoutMs || req.receiveTimeoutMs) {
        if (!WINHTTP_CALL(WinHttpSetTimeouts)(h.session, req.resolveTimeoutMs, req.connectTimeoutMs,
                                              req.sendTimeoutMs, req.receiveTimeoutMs))
            return failed(HttpStage::Connect);
    }
    h.connection =
        WINHTTP_CALL(WinHttpConnect)(h.session, req.host.c_str(), INTERNET_PORT(req.port), 0);
    if (!h.connection) return failed(HttpStage::Connect);
    std::wstring verb = widen(req.verb);
    h.request = WINHTTP_CALL(WinHttpOpenRequest)(
        h.connection, verb.c_str(), req.path.c_str(), nullptr, WINHTTP_NO_REFERER,
        WINHTTP_DEFAULT_ACCEPT_TYPES, req.secure ? WINHTTP_FLAG_SECURE : 0);
    if (!h.request) return failed(HttpStage::OpenRequest);
    if (req.receiveTimeoutMs) {
        // Waiting for the answer's headers has a time-out of its own (90 s by
        // default); without this a game that accepts and never answers would
        // hold the call far past the receive time-out.
        DWORD ms = DWORD(req.receiveTimeoutMs);
        WINHTTP_CALL(WinHttpSetOption)
        (h.request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &ms, sizeof ms);
    }
    if (req.manualRedirects) {
        DWORD off = WINHTTP_DISABLE_REDIRECTS;
        WINHTTP_CALL(WinHttpSetOption)(h.request, WINHTTP_OPTION_DISABLE_FEATURE, &off, sizeof off);
    }
    return {};
}

// The status, the redirect's target and the declared length of an answer
// whose headers have come.
HttpResponse answerHead(HINTERNET request) {
    HttpResponse r;
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!WINHTTP_CALL(WinHttpQueryHeaders)(
            request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
            WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
        status = 0;
    r.status = status;
    if (status >= 300 && status <= 399) r.location = headerText(request, WINHTTP_QUERY_LOCATION);
    std::string declared = headerText(request, WINHTTP_QUERY_CONTENT_LENGTH);
    char* end = nullptr;
    long long declaredLength = std::strtoll(declared.c_str(), &end, 10);
    if (end != declared.c_str() && *end == '\0' && declaredLength >= 0)
        r.contentLength = declaredLength;
    return r;
}

HttpResponse exchange(const HttpRequest& req, ULONGLONG deadline) {
    Handles h;
    if (HttpResponse opened = openRequest(req, h); opened.failedAt != HttpStage::Done)
        return opened;
    std::wstring headers = widen(req.headers);
    DWORD length = DWORD(req.body.size());
    BOOL sent = WINHTTP_CALL(WinHttpSendRequest)(
        h.request, headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
        headers.empty() ? 0 : DWORD(-1L),
        req.body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(req.body.data()), length,
        length, 0);
    if (!sent) return failed(HttpStage::Send);
    if (!WINHTTP_CALL(WinHttpReceiveResponse)(h.request, nullptr))
        return failed(HttpStage::Receive);

    HttpResponse r = answerHead(h.request);
    // A body declared larger than wanted is not read at all.
    bool wanted = !req.skipDeclaredOversize || r.contentLength < 0 ||
                  uint64_t(r.contentLength) <= req.bodyLimit;
    if (wanted && r.contentLength > 0)
        r.body.reserve(size_t(std::min<uint64_t>(uint64_t(r.contentLength), req.bodyLimit)));
    if (!wanted || (!req.readBodyOnSuccess && is2xx(r.status))) return r;
    BodyRead read = readBody(h.request, req.bodyLimit, deadline, r.body);
    // Fewer bytes than declared is a body cut short, even where the
    // connection ended without an error.
    bool cut = read == BodyRead::Whole && r.contentLength >= 0 && r.body.size() < req.bodyLimit &&
               uint64_t(r.body.size()) < uint64_t(r.contentLength);
    if (read == BodyRead::Whole && !cut) return r;
    HttpResponse broken = failed(HttpStage::Receive);
    // A body that simply ended early leaves no error of its own: the
    // connection ended before the answer did.
    if (cut) broken.error = ERROR_WINHTTP_CONNECTION_ERROR;
    broken.deadlinePassed = read == BodyRead::Expired;
    return broken;
}

// An exchange under a deadline runs on a thread of its own, so the caller
// returns at the deadline even while WinHTTP waits on a peer that sends its
// answer a byte at a time (its time-outs count from the last byte). An
// exchange that outlives its deadline is left to end on its own, and its
// result is dropped. The lock and the wake-up are the system's own, as the
// thread is.
struct Bounded {
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE finished = CONDITION_VARIABLE_INIT;
    bool done = false;
    bool givenUp = false;
    HttpResponse response;
};

// Exchanges of each caller that are running or were given up on and have not
// ended yet. Past a few given up on, the caller's next exchange fails at once
// instead of leaving one more thread waiting; a silent service never touches
// what the game's requests give, nor the other way round.
constexpr int AbandonedLimit = 4;
std::atomic<int> pending[3]{};

std::atomic<int>& pendingOf(HttpCaller caller) {
    return pending[size_t(caller)];
}

// Takes a place for one more exchange of the caller's, the check and the
// count in one step: two threads cannot both take the last place.
bool takePlace(std::atomic<int>& count) {
    int now = count.load();
    do {
        if (now >= AbandonedLimit) return false;
    } while (!count.compare_exchange_weak(now, now + 1));
    return true;
}

HttpResponse expired() {
    HttpResponse r;
    r.failedAt = HttpStage::Receive;
    r.error = ERROR_WINHTTP_TIMEOUT;
    r.deadlinePassed = true;
    return r;
}

} // namespace

HttpResponse httpExchange(const HttpRequest& req) {
    if (req.totalTimeoutMs <= 0) return exchange(req, 0);
    std::atomic<int>& count = pendingOf(req.caller);
    // The exchange holds its place until it ends, also after it was given up.
    if (!takePlace(count)) return expired();
    ULONGLONG deadline = GetTickCount64() + ULONGLONG(req.totalTimeoutMs);
    auto state = std::make_shared<Bounded>();
    std::string error;
    bool started = startDetachedThread(
        [state, req, deadline, &count] {
            HttpResponse r = exchange(req, deadline);
            AcquireSRWLockExclusive(&state->lock);
            // Whoever is last to let go of the exchange gives its place back.
            if (state->givenUp) count.fetch_sub(1);
            state->response = std::move(r);
            state->done = true;
            ReleaseSRWLockExclusive(&state->lock);
            WakeAllConditionVariable(&state->finished);
        },
        error);
    if (!started) {
        // Never run without its deadline: the exchange fails, as itself.
        count.fetch_sub(1);
        HttpResponse r;
        r.failedAt = HttpStage::Start;
        r.error = GetLastError();
        return r;
    }
    // A little past the deadline, so a body read that ends at the deadline
    // itself reports its own result.
    const ULONGLONG waitEnd = deadline + 250;
    AcquireSRWLockExclusive(&state->lock);
    for (ULONGLONG now = GetTickCount64(); !state->done && now < waitEnd; now = GetTickCount64())
        SleepConditionVariableSRW(&state->finished, &state->lock, DWORD(waitEnd - now), 0);
    HttpResponse r;
    if (state->done) {
        r = std::move(state->response);
        count.fetch_sub(1);
    } else {
        state->givenUp = true;
        r = expired();
    }
    ReleaseSRWLockExclusive(&state->lock);
    return r;
}

} // namespace korvane

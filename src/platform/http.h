#pragma once
// One synchronous HTTP exchange: open, connect, send, receive, read, close,
// with every handle closed on every path. Nothing is retried. A body that
// breaks off (a reset, a stall, fewer bytes than declared) makes the exchange
// a failure at the receive step: no caller ever gets part of a body.
#include <cstddef>
#include <cstdint>
#include <string>

namespace korvane {

// Whom an exchange is for. Each caller's exchanges that outlive their deadline
// are bounded on their own: an outage of the service never holds up the
// game's requests or a download.
enum class HttpCaller { Service, Game, Download };

struct HttpRequest {
    HttpCaller caller = HttpCaller::Service;
    bool secure = false;
    std::wstring host;
    int port = 0;
    const char* verb = "GET";
    std::wstring path;
    std::string userAgent;
    std::string headers; // "Name: value\r\n" lines
    std::string body;
    bool noProxy = false;
    // All four zero: the platform's defaults (on Linux, WinHTTP's values).
    int resolveTimeoutMs = 0, connectTimeoutMs = 0, sendTimeoutMs = 0, receiveTimeoutMs = 0;
    bool readBodyOnSuccess = true; // false: a 2xx body is never read
    size_t bodyLimit = 65536;      // reading stops once this much is held; the
                                   // chunk that crosses it is kept whole
    // True: a body whose declared length is above bodyLimit is not read at all.
    bool skipDeclaredOversize = false;
    // Above zero: the call returns once this much time has passed, however
    // slowly the answer keeps coming, as a failure with deadlinePassed.
    int totalTimeoutMs = 0;
    // True: a 3xx comes back as it is, with its location, on both platforms.
    // False: the platform's own habit (WinHTTP follows, libcurl does not).
    bool manualRedirects = false;
};

// The step an exchange failed at, in the order they run.
// Start: the exchange could not be given the thread that keeps its deadline,
// and was not run.
enum class HttpStage { Done, Start, Open, Connect, OpenRequest, Send, Receive };

struct HttpResponse {
    HttpStage failedAt = HttpStage::Done;
    unsigned long error = 0;          // the platform's error number when a step failed
    bool tlsValidationFailed = false; // the server's certificate was not accepted
    bool deadlinePassed = false;      // totalTimeoutMs ran out (a failure)
    uint32_t status = 0;              // 0 when the status could not be read
    std::string location;             // a redirect's Location header, as sent
    int64_t contentLength = -1;       // the length the answer declared; -1 when none
    std::string body;
};

HttpResponse httpExchange(const HttpRequest& request);

// Sets up the HTTP client's libraries for the life of the process. Call it on
// the main thread before a second thread exists: nothing it sets up is torn
// down at exit, so a thread still in an exchange while the process ends never
// meets a half-freed library. httpExchange calls it too.
void httpGlobalInit();

} // namespace korvane

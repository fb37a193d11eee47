#pragma once
// Sends one live document to the service and keeps the reason of a failure.
#include "platform/http.h"

#include <string>

namespace korvane {

inline constexpr const char* CompanionUserAgent = "KorvaneCompanion/1.6";

// The failure text of a post that ran out of its time: "no answer within 2 s".
std::string postDeadlineText();

// The reason the last post failed; empty after a successful one.
std::string& lastPostError();

// POSTs the document (after replacing non-finite numbers) to the service's
// live path over HTTPS. True for a 2xx answer.
bool postLive(const std::string& document);

// The failure text for an exchange, given the document as it was sent. Empty
// for a 2xx answer.
std::string describePostResult(const HttpResponse& response, const std::string& sent);

} // namespace korvane

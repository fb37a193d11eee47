#pragma once
// The background poller: three GETs to the game every cycle, published in the
// snapshot the main loop reads without waiting.
#include "core/snapshot.h"
#include "gamerest/rest_fetch.h"

#include <functional>
#include <string>

namespace korvane {

using RestFetch = std::function<RestReply(const std::wstring& path)>;

// One cycle: refuel screen, strategy usage, standings. Scanning happens
// outside the lock; the lock is held only to copy the name and swap the map.
void pollRestOnce(RestSnapshot& snapshot, const RestFetch& fetch);

// Takes one answer of the game as a poll would: the path names which of the
// three it is; any other path is ignored.
void takeRestAnswer(RestSnapshot& snapshot, const std::string& path, const std::string& body);

// Starts polling the game for the rest of the process, 2 s after each cycle,
// on a detached thread; false when no thread can be made. `fetch` (the real
// GET when empty) sees every request.
[[nodiscard]] bool startRestPoller(std::string& err, RestFetch fetch = {});

} // namespace korvane

#include "core/screen_feed.h"

#include "platform/process.h"

#include <array>
#include <condition_variable>
#include <mutex>
#include <string>

namespace korvane {

namespace {

struct Feed {
    std::mutex mutex;
    std::condition_variable changed;
    std::array<std::function<void()>, 3> waiting; // by part
    bool writing = false;
    bool started = false;
    bool noThread = false;
};

// Never destroyed: the console's thread may still be inside a write while
// the process ends.
Feed& feed() {
    static Feed* f = new Feed;
    return *f;
}

bool anyWaiting(const Feed& f) {
    for (const auto& draw : f.waiting)
        if (draw) return true;
    return false;
}

void writeForever(Feed& f) {
    std::unique_lock<std::mutex> lock(f.mutex);
    for (;;) {
        f.changed.wait(lock, [&] { return anyWaiting(f); });
        std::array<std::function<void()>, 3> taken;
        taken.swap(f.waiting);
        f.writing = true;
        lock.unlock();
        for (auto& draw : taken)
            if (draw) draw();
        lock.lock();
        f.writing = false;
        f.changed.notify_all();
    }
}

} // namespace

void showOnScreen(ScreenPart part, std::function<void()> draw) {
    Feed& f = feed();
    std::unique_lock<std::mutex> lock(f.mutex);
    if (!f.started) {
        f.started = true;
        std::string error;
        f.noThread = !startDetachedThread([&f] { writeForever(f); }, error);
    }
    if (f.noThread) {
        // Without a thread of its own the console is written as before.
        lock.unlock();
        draw();
        return;
    }
    f.waiting[size_t(part)] = std::move(draw);
    f.changed.notify_all();
}

void settleScreen() {
    Feed& f = feed();
    std::unique_lock<std::mutex> lock(f.mutex);
    f.changed.wait(lock, [&] { return !f.writing && !anyWaiting(f); });
}

} // namespace korvane

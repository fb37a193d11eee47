#include "tools/recorder.h"

#include "core/build_info.h"
#include "core/screen_feed.h"
#include "core/strings.h"
#include "gamerest/poller.h"
#include "gamerest/rest_fetch.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/machine.h"
#include "platform/process.h"
#include "platform/text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>
#include <memory>
#include <mutex>
#include <utility>

namespace korvane {

namespace {

template <class Buffer> constexpr size_t HeadBytes = offsetof(Buffer, vehicles);
template <class Buffer>
constexpr size_t SlotBytes = sizeof(std::declval<const Buffer&>().vehicles[0]);

template <class T> T fieldAt(const char* bytes, size_t offset) {
    T v;
    std::memcpy(&v, bytes + offset, sizeof v);
    return v;
}

// The header and as many vehicle slots as the header's own count says.
template <class Buffer> size_t usedLength(const char* bytes) {
    int count = clampVehicleCount(fieldAt<int32_t>(bytes, offsetof(Buffer, numVehicles)));
    return HeadBytes<Buffer> + size_t(count) * SlotBytes<Buffer>;
}

template <class Buffer> std::string usedBytes(const Buffer* buffer) {
    if (!buffer) return {};
    const char* bytes = reinterpret_cast<const char*>(buffer);
    return std::string(bytes, usedLength<Buffer>(bytes));
}

// A copy the publisher was not writing: equal counters, and the slots its
// own count asks for.
template <class Buffer> bool wholeCopy(const std::string& copy) {
    if (copy.empty()) return true;
    const char* bytes = copy.data();
    return fieldAt<uint32_t>(bytes, offsetof(Buffer, beginCounter)) ==
               fieldAt<uint32_t>(bytes, offsetof(Buffer, endCounter)) &&
           copy.size() == usedLength<Buffer>(bytes);
}

// The answers the poller got since the last tick. Shared with the poller's
// thread, which outlives the tool.
struct AnswerQueue {
    std::mutex mutex;
    std::vector<RestAnswer> answers;
};

std::string megabytes(uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / 1e6);
    return text;
}

void say(const std::string& before, const std::wstring& path, const std::string& after) {
    std::cout << before;
    consoleWriteWide(shownText(path));
    std::cout << after << std::flush;
}

} // namespace

void captureBuffers(const SharedViews& views, RecordedTick& tick) {
    for (int attempt = 0;; ++attempt) {
        tick.telemetry = usedBytes(views.telemetry);
        tick.scoring = usedBytes(views.scoring);
        if (attempt == 10 ||
            (wholeCopy<TelemetryBuffer>(tick.telemetry) && wholeCopy<ScoringBuffer>(tick.scoring)))
            break;
        sleepMs(2);
    }
    tick.pitMenu = views.pitMenu ? std::string(reinterpret_cast<const char*>(views.pitMenu),
                                               sizeof(PitMenuBuffer))
                                 : std::string();
    tick.sessionTime = -1;
    if (!tick.scoring.empty())
        tick.sessionTime = fieldAt<double>(tick.scoring.data(), offsetof(ScoringBuffer, currentEt));
}

namespace {

// Creates the file and writes its header. Never over a file that is already
// there: it may be an earlier race.
bool startFile(NewFile& file, const std::wstring& full) {
    switch (file.create(full)) {
    case NewFile::Created::Exists:
        say("record: ", full, " already exists - give a new file name\n");
        return false;
    case NewFile::Created::Failed:
        say("record: cannot write ", full, "\n");
        return false;
    case NewFile::Created::Ok:
        break;
    }
    if (!file.append(encodeRecordingHeader({BuildVersion, int64_t(std::time(nullptr))}))) {
        say("record: cannot write ", full, "\n");
        return false;
    }
    say("Recording to ", full,
        "\nThe file holds the driver names of everyone in the session, their cars, and what\n"
        "the game shows in its buffers and REST answers. Send it only to someone you\n"
        "would show the race to.\n"
        "Ctrl+C or closing this window stops the recording; every tick up to then is kept.\n");
    return true;
}

std::shared_ptr<AnswerQueue> startAnswerQueue() {
    auto queue = std::make_shared<AnswerQueue>();
    std::string err;
    bool polling = startRestPoller(err, [queue](const std::wstring& p) {
        RestReply reply = restGet(p);
        RestAnswer answer{wideToUtf8(p), reply.status, reply.body};
        std::lock_guard<std::mutex> lock(queue->mutex);
        // Between two ticks only the newest answer of a path is kept: a
        // recorder held up (by a slow disk) never piles up answers.
        auto same = std::find_if(queue->answers.begin(), queue->answers.end(),
                                 [&](const RestAnswer& a) { return a.path == answer.path; });
        if (same != queue->answers.end()) queue->answers.erase(same);
        queue->answers.push_back(std::move(answer));
        return reply;
    });
    if (!polling) std::cout << "record: no REST answers: " << err << "\n" << std::flush;
    return queue;
}

RecordedTick readTick(SharedViews& views, AnswerQueue& queue, uint32_t ms) {
    openMissingViews(views);
    RecordedTick tick;
    tick.ms = ms;
    // A read the game's lock put off keeps the last whole copy; a copy the
    // game kept writing over is not recorded at all.
    if (pickSource(views) == TickStart::Torn) {
        views.telemetry = nullptr;
        views.scoring = nullptr;
    }
    captureBuffers(views, tick);
    tick.source = views.telemetry ? views.source : TelemetrySource::None;
    std::lock_guard<std::mutex> lock(queue.mutex);
    tick.answers.swap(queue.answers);
    return tick;
}

void showProgress(int ticks, uint64_t bytes, uint64_t elapsedMs, bool publishing) {
    char line[120];
    std::snprintf(line, sizeof line, "\r%d ticks | %s | %.1f min | %-24s", ticks,
                  megabytes(bytes).c_str(), double(elapsedMs) / 60000.0,
                  publishing ? "game publishing" : "game not publishing");
    showOnScreen(ScreenPart::Progress,
                 [text = std::string(line)] { std::cout << text << std::flush; });
}

} // namespace

int runRecorder(const std::wstring& path) {
    if (path.empty()) {
        std::cout << "usage: korvane-companion --record FILE\n" << std::flush;
        return 2;
    }
    std::wstring full = fullPathOf(path);
    NewFile file;
    if (!startFile(file, full)) return 1;
    const volatile bool* stop = installStopFlag();
    std::shared_ptr<AnswerQueue> queue = startAnswerQueue();

    SharedViews views;
    RecordingEncoder encoder;
    uint64_t start = tickCountMs(), bytes = 0;
    uint32_t lastCounter = 0;
    int ticks = 0;
    while (!*stop) {
        uint64_t now = tickCountMs();
        RecordedTick tick = readTick(views, *queue, uint32_t(now - start));
        std::string chunk = encoder.encodeFitting(tick);
        if (chunk.empty() || !file.append(chunk)) {
            settleScreen();
            say("\nrecord: cannot write to ", full,
                " (is the disk full?). Recording stopped after " + std::to_string(ticks) +
                    " ticks; the file holds them whole.\n");
            return 1;
        }
        encoder.commit(tick);
        ticks += 1;
        bytes += chunk.size();
        bool publishing = views.telemetry && views.telemetry->beginCounter != lastCounter;
        lastCounter = views.telemetry ? views.telemetry->beginCounter : 0;
        showProgress(ticks, bytes, now - start, publishing);
        while (!*stop && tickCountMs() < now + 500) sleepMs(20);
    }
    settleScreen();
    say("\nRecorded " + std::to_string(ticks) + " ticks (" + megabytes(bytes) + ") to ", full,
        "\n");
    return 0;
}

} // namespace korvane

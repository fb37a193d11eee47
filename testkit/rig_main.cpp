// korvane-rig: publishes the plugin's three mappings from a scenario file,
// frame by frame, until it is stopped. With --sections it publishes empty
// sections of the given names instead, as other plugins or the game would.
// With --replay it publishes a recording's ticks at their recorded pace and
// hands each tick's REST answers to the fake game.
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/shm.h"
#include "platform/text.h"
#include "race_answers.h"
#include "scenario.h"
#include "telemetry/recording.h"
#include "tools/recorder.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <new>
#include <string>
#include <vector>

using namespace korvane;

namespace {

int publishSections(int count, char** names) {
    const volatile bool* stop = installStopFlag();
    std::vector<OwnedMapping> sections(static_cast<size_t>(count));
    std::string err;
    bool ok = true;
    for (int i = 0; i < count && ok; ++i)
        ok = createMapping(names[i], 4096, sections[size_t(i)], err);
    if (ok) {
        std::printf("rig: publishing %d sections\n", count);
        std::fflush(stdout);
        while (!*stop) sleepMs(50);
    } else {
        std::printf("rig: %s\n", err.c_str());
    }
    for (OwnedMapping& m : sections) destroyMapping(m);
    return ok ? 0 : 1;
}

// Writes a recorded buffer as a publisher does: the begin counter, the rest
// (zeros past its end, up to what the tick before used), the end counter.
void publishBuffer(const std::string& bytes, OwnedMapping& mapping, size_t& used) {
    size_t n = std::min(bytes.size(), mapping.size);
    if (n >= 8) std::memcpy(mapping.data, bytes.data(), 4);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (n > 8) std::memcpy(mapping.data + 8, bytes.data() + 8, n - 8);
    if (used > n) std::memset(mapping.data + n, 0, used - n);
    if (n < 8) std::memset(mapping.data, 0, std::min<size_t>(8, mapping.size));
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (n >= 8) std::memcpy(mapping.data + 4, bytes.data() + 4, 4);
    used = n;
}

// Recorded bytes at the start of a buffer, zeros after them.
void placeBytes(const std::string& bytes, void* buffer, size_t size) {
    size_t n = std::min(bytes.size(), size);
    std::memcpy(buffer, bytes.data(), n);
    std::memset(static_cast<uint8_t*>(buffer) + n, 0, size - n);
}

// A JSON string whose characters are the bytes themselves (U+0000..U+00FF),
// so any body survives: the fake game turns them back with latin-1.
std::string jsonBytes(const std::string& bytes) {
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c == '"' || c == '\\' || c < 0x20 || c >= 0x7F) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

// The game's standings and usage answers for the race so far, written over
// the last ones (whole, never half) whenever the player starts a lap.
bool writeRaceAnswers(const std::string& dir, const testkit::Scenario& scenario,
                      const testkit::World& world, int& answeredLap) {
    if (world.lap == answeredLap) return true;
    answeredLap = world.lap;
    testkit::RaceHistory race = testkit::raceHistory(scenario, world);
    std::string usage = testkit::usageAnswer(race);
    std::string standings = testkit::standingsAnswer(scenario, world, race);
    if (replaceFileBytes(utf8ToWide(dir + "/strategy_usage.json"), usage) != WriteStatus::Ok ||
        replaceFileBytes(utf8ToWide(dir + "/standings.json"), standings) != WriteStatus::Ok) {
        std::printf("rig: cannot write the REST answers into %s\n", dir.c_str());
        return false;
    }
    return true;
}

// Where the rig publishes a scenario: the plugin's three mappings, the game's
// own objects, or both at once (the same moments through each).
struct Routes {
    bool plugin = true, game = false;
    size_t gameBytes = sizeof(GameData); // fewer: a mapping cut short
};

// The recording the recorder would make beside the scenario, written at full
// speed: a tick every half second of session time, and the game's three
// answers every fourth tick, as the poller asks every 2 s.
int writeRecording(const testkit::Scenario& sc, const char* file, double limitSeconds,
                   Routes routes, double from, int64_t started) {
    NewFile out;
    // A recording begun `from` seconds into the race, on a clock on which the
    // race began at `started`: several such files are one session's.
    int64_t begun = (started ? started : int64_t(std::time(nullptr))) + int64_t(from);
    if (out.create(utf8ToWide(file)) != NewFile::Created::Ok ||
        !out.append(encodeRecordingHeader({"rig", begun}))) {
        std::printf("rig: cannot write %s\n", file);
        return 1;
    }
    testkit::ScenarioPlayer player(sc);
    player.advance(from);
    testkit::FrameBuffers frame;
    SharedViews views;
    frame.showIn(views);
    // Through the game's own interface alone, each tick is read back as the
    // program reads it: the game's mapping, then the copy in the plugin's layout.
    bool viaGame = routes.game && !routes.plugin;
    auto gameData = std::make_unique<GameData>();
    GameFrame gameFrame;
    RecordingEncoder encoder;
    int answeredLap = -1;
    std::string garage, usage, standings;
    uint64_t ticks = 0;
    for (; !player.finished() && player.world().et < sc.endEt; ++ticks) {
        if (limitSeconds >= 0 && double(ticks) * 0.5 >= limitSeconds) break;
        const testkit::World& world = player.world();
        frame.publish(sc, world);
        RecordedTick tick;
        tick.ms = uint32_t(ticks * 500);
        tick.source = viaGame ? TelemetrySource::Game : TelemetrySource::Plugin;
        if (viaGame) {
            testkit::writeGameFrame(world, *frame.telemetry, *frame.scoring, *gameData);
            bool read = copyGameFrame(*gameData, gameFrame, false) == GameCopy::Ready;
            tick.source = read ? TelemetrySource::Game : TelemetrySource::None;
            views.telemetry = read ? gameFrame.telemetry.get() : nullptr;
            views.scoring = read ? gameFrame.scoring.get() : nullptr;
        }
        captureBuffers(views, tick);
        if (ticks % 4 == 3) {
            if (world.lap != answeredLap) {
                answeredLap = world.lap;
                testkit::RaceHistory race = testkit::raceHistory(sc, world);
                usage = testkit::usageAnswer(race);
                standings = testkit::standingsAnswer(sc, world, race);
                garage = "{\"fuelInfo\": {\"currentVirtualEnergy\": " +
                         std::to_string(race.drivers[race.player].veFraction * 4000) +
                         ", \"maxVirtualEnergy\": 4000}}";
            }
            tick.answers = {{"/rest/garage/UIScreen/RepairAndRefuel", 200, garage},
                            {"/rest/strategy/usage", 200, usage},
                            {"/rest/watch/standings", 200, standings}};
        }
        std::string chunk = encoder.encode(tick);
        if (chunk.empty() || !out.append(chunk)) {
            std::printf("rig: cannot write %s\n", file);
            return 1;
        }
        encoder.commit(tick);
        player.advance(0.5);
    }
    std::printf("rig: wrote %llu ticks to %s\n", (unsigned long long)ticks, file);
    return 0;
}

// The publishing side of the game's objects: the mapping, the lock and the
// two events, written as the game writes them.
class GamePublisher {
  public:
    bool open(size_t bytes, std::string& err) {
        if (!createMapping(GameDataMappingName, bytes, data_, err) ||
            !createMapping(GameLockMappingName, sizeof(GameLockWords), lock_, err))
            return false;
        dataEvent_ = createNamedEvent(GameDataEventName);
        lockEvent_ = createNamedEvent(GameLockEventName);
        return true;
    }
    bool full() const { return data_.size >= sizeof(GameData); }
    // One frame under the lock, the update event signalled after it. While
    // another reader holds the lock for long, the game writes regardless, as
    // its own lock helper lets it: that is what a reader must never copy.
    template <class Fill> void publish(bool lockHeld, Fill&& fill) {
        auto& words = *reinterpret_cast<GameLockWords*>(lock_.data);
        std::atomic_ref<int32_t> busy(words.busy);
        bool owned = false;
        if (lockHeld) {
            busy.store(1);
            holding_ = true;
        } else {
            if (holding_) busy.store(0);
            holding_ = false;
            for (int i = 0; i < 100000 && !owned; ++i) {
                int32_t free = 0;
                owned = busy.compare_exchange_strong(free, 1);
            }
        }
        fill(*reinterpret_cast<GameData*>(data_.data));
        if (owned) {
            busy.store(0);
            if (std::atomic_ref<int32_t>(words.waiters).load() > 0) signalEvent(lockEvent_);
        }
        signalEvent(dataEvent_);
    }
    void close() {
        destroyMapping(data_);
        destroyMapping(lock_);
        closeEvent(dataEvent_);
        closeEvent(lockEvent_);
    }

  private:
    OwnedMapping data_, lock_;
    void* dataEvent_ = nullptr;
    void* lockEvent_ = nullptr;
    bool holding_ = false;
};

int replay(const char* file, double speed, const char* answersPath) {
    std::ifstream in(file, std::ios::binary);
    RecordingReader reader(in);
    RecordingInfo info;
    std::string err;
    if (!in) err = "cannot open it";
    if (!in || !reader.readHeader(info, err)) {
        std::printf("rig: %s: %s\n", file, err.c_str());
        return 2;
    }
    std::ofstream answers;
    if (answersPath) answers.open(answersPath, std::ios::binary | std::ios::app);
    const volatile bool* stop = installStopFlag();
    OwnedMapping mappings[3];
    size_t used[3] = {0, 0, 0};
    bool ok = createMapping(TelemetryMappingName, sizeof(TelemetryBuffer), mappings[0], err) &&
              createMapping(ScoringMappingName, sizeof(ScoringBuffer), mappings[1], err) &&
              createMapping(PitMenuMappingName, sizeof(VersionedPitMenu), mappings[2], err);
    int code = ok ? 0 : 1;
    if (!ok) std::printf("rig: %s\n", err.c_str());
    // A tick that came through the game's own interface goes out through the
    // game's objects, opened at the first such tick.
    GamePublisher game;
    bool gameOpen = false;
    testkit::FrameBuffers frame;
    uint64_t start = tickCountMs();
    RecordedTick tick;
    while (ok && !*stop) {
        ChunkRead read;
        try {
            read = reader.next(tick);
        } catch (const std::bad_alloc&) {
            std::printf("rig: tick %d of the recording needs more memory than there is; replay "
                        "stopped after %d ticks\n",
                        reader.ticksRead() + 1, reader.ticksRead());
            code = 1;
            break;
        }
        int whole = reader.ticksRead() - (read == ChunkRead::Tick ? 1 : 0);
        if (read == ChunkRead::End) {
            // The last tick stays up a second, as long as two of the others:
            // a reader at two ticks a second sees it before the game goes.
            for (int i = 0; i < 50 && !*stop; ++i) sleepMs(20);
            std::printf("rig: replayed %d ticks\n", whole);
            break;
        }
        if (read == ChunkRead::Cut) {
            std::printf("rig: the recording is cut short inside tick %d; replayed its %d whole "
                        "ticks\n",
                        whole + 1, whole);
            break;
        }
        if (read == ChunkRead::Damaged) {
            std::printf("rig: tick %d of the recording is damaged; replay stopped after %d ticks\n",
                        whole + 1, whole);
            code = 1;
            break;
        }
        while (!*stop && double(tickCountMs() - start) * speed < double(tick.ms)) sleepMs(5);
        const std::string* buffers[] = {&tick.telemetry, &tick.scoring, &tick.pitMenu};
        bool viaGame = tick.source == TelemetrySource::Game;
        for (size_t i = viaGame ? 2 : 0; i < 3; ++i)
            publishBuffer(*buffers[i], mappings[i], used[i]);
        if (viaGame && !gameOpen && !(gameOpen = game.open(sizeof(GameData), err))) {
            std::printf("rig: %s\n", err.c_str());
            code = 1;
            break;
        }
        if (viaGame) {
            placeBytes(tick.telemetry, frame.telemetry.get(), sizeof(TelemetryBuffer));
            placeBytes(tick.scoring, frame.scoring.get(), sizeof(ScoringBuffer));
            bool player = frame.telemetry->numVehicles > 0;
            game.publish(false, [&](GameData& out) {
                testkit::writeGameBlocks(*frame.telemetry, *frame.scoring, player ? 0 : -1, out);
            });
        }
        for (const RestAnswer& a : tick.answers)
            answers << "{\"tick\": " << reader.ticksRead() << ", \"path\": " << jsonBytes(a.path)
                    << ", \"status\": " << a.status << ", \"body\": " << jsonBytes(reader.bodyOf(a))
                    << "}\n";
        answers.flush();
        if (reader.ticksRead() == 1)
            std::printf("rig: publishing %s (recorded by Korvane Companion %s)\n", file,
                        info.programVersion.c_str());
        std::fflush(stdout);
    }
    for (OwnedMapping& m : mappings) destroyMapping(m);
    game.close();
    std::fflush(stdout);
    return code;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf(
            "usage: korvane-rig SCENARIO [--seconds N] [--held S] [--clock N] [--rest DIR]\n"
            "                   [--route plugin|game|both] [--short-game BYTES]\n"
            "       korvane-rig SCENARIO --write FILE [--seconds N]\n"
            "       korvane-rig --sections NAME...\n"
            "       korvane-rig --replay FILE [--speed N] [--answers FILE]\n");
        return 2;
    }
    if (std::strcmp(argv[1], "--sections") == 0) return publishSections(argc - 2, argv + 2);
    if (std::strcmp(argv[1], "--replay") == 0 && argc >= 3) {
        double speed = 1;
        const char* answers = nullptr;
        for (int i = 3; i + 1 < argc; ++i) {
            if (std::strcmp(argv[i], "--speed") == 0) speed = std::atof(argv[i + 1]);
            if (std::strcmp(argv[i], "--answers") == 0) answers = argv[i + 1];
        }
        if (!(speed > 0)) {
            std::printf("rig: --speed takes a number above 0\n");
            return 2;
        }
        return replay(argv[2], speed, answers);
    }
    double limitSeconds = -1, held = 0, clock = 1, from = 0;
    int64_t started = 0;
    const char* restDir = nullptr;
    const char* writeTo = nullptr;
    Routes routes;
    for (int i = 2; i + 1 < argc; ++i) {
        // Which route publishes; the game's own, or both with the same moments.
        if (std::strcmp(argv[i], "--route") == 0) {
            routes.plugin = std::strcmp(argv[i + 1], "game") != 0;
            routes.game = std::strcmp(argv[i + 1], "plugin") != 0;
        }
        // The game's mapping alone, cut short at this size: nothing else is published.
        if (std::strcmp(argv[i], "--short-game") == 0) {
            routes = {false, true, size_t(std::atol(argv[i + 1]))};
        }
        // The recording of the scenario, written at full speed; nothing is published.
        if (std::strcmp(argv[i], "--write") == 0) writeTo = argv[i + 1];
        // With --write: the recording starts this far into the scenario, on
        // a clock whose race began at the given time (seconds since 1970).
        if (std::strcmp(argv[i], "--from") == 0) from = std::max(0.0, std::atof(argv[i + 1]));
        if (std::strcmp(argv[i], "--started") == 0) started = std::atoll(argv[i + 1]);
        if (std::strcmp(argv[i], "--seconds") == 0) limitSeconds = std::atof(argv[i + 1]);
        // Session time in steps of half a second, each held this long: every
        // reader at two ticks a second sees each step more than once.
        if (std::strcmp(argv[i], "--held") == 0) held = std::atof(argv[i + 1]);
        // Session time this many times faster than real time: a day's race in an hour at 24.
        if (std::strcmp(argv[i], "--clock") == 0) clock = std::atof(argv[i + 1]);
        // The game's standings and usage answers for the fake game, rewritten each lap.
        if (std::strcmp(argv[i], "--rest") == 0) restDir = argv[i + 1];
    }
    if (!(clock > 0)) {
        std::printf("rig: --clock takes a number above 0\n");
        return 2;
    }

    testkit::Scenario scenario;
    std::string err;
    if (!testkit::loadScenarioFile(argv[1], scenario, err)) {
        std::printf("rig: %s\n", err.c_str());
        return 2;
    }
    if (writeTo) return writeRecording(scenario, writeTo, limitSeconds, routes, from, started);
    const volatile bool* stop = installStopFlag();
    OwnedMapping tel, scr, pit;
    GamePublisher game;
    auto closeAll = [&] {
        destroyMapping(tel);
        destroyMapping(scr);
        destroyMapping(pit);
        game.close();
    };
    if ((routes.plugin &&
         (!createMapping(TelemetryMappingName, sizeof(TelemetryBuffer), tel, err) ||
          !createMapping(ScoringMappingName, sizeof(ScoringBuffer), scr, err) ||
          !createMapping(PitMenuMappingName, testkit::pitInfoSize(scenario), pit, err))) ||
        (routes.game && !game.open(routes.gameBytes, err))) {
        std::printf("rig: %s\n", err.c_str());
        closeAll();
        return 1;
    }
    // Without the plugin's mappings the frames are laid out in buffers of the
    // rig's own, from which the game's are written.
    testkit::FrameBuffers local;
    auto* telemetry =
        routes.plugin ? reinterpret_cast<TelemetryBuffer*>(tel.data) : local.telemetry.get();
    auto* scoring =
        routes.plugin ? reinterpret_cast<ScoringBuffer*>(scr.data) : local.scoring.get();
    uint8_t* pitInfo = routes.plugin ? pit.data : reinterpret_cast<uint8_t*>(local.pitInfo.get());
    bool gameFrames = routes.game && game.full();

    testkit::ScenarioPlayer player(scenario);
    uint32_t counter = 0;
    testkit::writeFrame(scenario, player.world(), counter, *telemetry, *scoring, pitInfo);
    auto publishGame = [&] {
        if (!gameFrames) return;
        game.publish(player.world().lockHeld, [&](GameData& out) {
            testkit::writeGameFrame(player.world(), *telemetry, *scoring, out);
        });
    };
    publishGame();
    int answeredLap = -1;
    if (restDir && !writeRaceAnswers(restDir, scenario, player.world(), answeredLap)) return 1;
    std::printf("rig: publishing %s\n", argv[1]);
    std::fflush(stdout);

    uint64_t start = tickCountMs();
    uint64_t last = start;
    // Held steps end the run by their count, not by the clock: a machine
    // that lags publishes every step all the same, only later.
    long steps = 0, stepLimit = held > 0 && limitSeconds >= 0 ? long(limitSeconds / held) : -1;
    while (!*stop) {
        sleepMs(50);
        uint64_t now = tickCountMs();
        bool moved = held <= 0 || double(now - last) >= held * 1000.0;
        if (held <= 0) {
            player.advance(double(now - last) / 1000.0 * clock);
            last = now;
        } else if (moved) {
            player.advance(0.5);
            last += uint64_t(held * 1000.0);
            steps += 1;
        }
        if (moved) {
            testkit::writeFrame(scenario, player.world(), counter, *telemetry, *scoring, pitInfo);
            publishGame();
            if (restDir && !writeRaceAnswers(restDir, scenario, player.world(), answeredLap)) break;
        } else {
            // A held step only moves the update counters: the companion
            // checks them before it reads the fields, not after, and would
            // take a rewrite caught half-way (an empty track name) as a step.
            counter += 1;
            telemetry->beginCounter = scoring->beginCounter = counter;
            std::atomic_signal_fence(std::memory_order_seq_cst);
            telemetry->endCounter = scoring->endCounter = counter;
        }
        if (stepLimit >= 0 ? steps >= stepLimit
                           : limitSeconds >= 0 && double(now - start) / 1000.0 >= limitSeconds)
            break;
    }
    closeAll();
    std::printf("rig: stopped\n");
    return 0;
}

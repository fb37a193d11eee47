#include "telemetry/inflate.h"
#include "telemetry/recording.h"
#include "tools/recorder.h"

#include "test_support.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <zlib.h>

using namespace korvane;

namespace {

RecordedTick tickOf(uint32_t ms, std::string telemetry, std::vector<RestAnswer> answers = {}) {
    RecordedTick t;
    t.ms = ms;
    t.sessionTime = ms / 1000.0;
    t.telemetry = std::move(telemetry);
    t.scoring = std::string(600, char(ms));
    t.pitMenu = ms % 2 ? std::string() : std::string(sizeof(PitMenuBuffer), 'p');
    t.answers = std::move(answers);
    return t;
}

// Ticks that exercise every part of a chunk: buffers that grow, shrink and
// vanish, bodies that repeat, change, hold any byte, and an answer that never came.
std::vector<RecordedTick> sampleTicks() {
    std::string binary;
    for (int c = 0; c < 256; ++c) binary += char(c);
    return {
        tickOf(0, std::string(2000, 'a'), {{"/rest/a", 200, "{\"x\":1}"}, {"/rest/b", 404, "no"}}),
        tickOf(500, std::string(3900, 'b'), {{"/rest/a", 200, "{\"x\":1}"}}),
        tickOf(1000, "", {{"/rest/a", 200, binary}, {"/rest/a", 200, "{\"x\":1}"}}),
        tickOf(1500, std::string(16, 'c'), {{"/rest/c", 0, ""}, {"/rest/b", 404, "no"}}),
    };
}

struct Replayed {
    std::vector<RecordedTick> ticks;
    ChunkRead end;
};

Replayed replay(const std::string& file) {
    std::istringstream in(file);
    RecordingReader reader(in);
    RecordingInfo info;
    std::string err;
    EXPECT_TRUE(reader.readHeader(info, err)) << err;
    Replayed r;
    RecordedTick t;
    while ((r.end = reader.next(t)) == ChunkRead::Tick) {
        for (RestAnswer& a : t.answers) a.body = reader.bodyOf(a);
        r.ticks.push_back(t);
    }
    return r;
}

} // namespace

TEST(Recording, TicksComeBackAsTheyWere) {
    std::vector<RecordedTick> ticks = sampleTicks();
    Replayed r = replay(test::recordingOf(ticks));
    EXPECT_EQ(r.end, ChunkRead::End);
    // A path answered twice in a tick comes back with its newest answer.
    ticks[2].answers.erase(ticks[2].answers.begin());
    EXPECT_TRUE(r.ticks == ticks);
}

// The recorder fits each tick to what its reader takes: the newest answer of
// each path, then as many as the limits allow, in their order. What it
// writes is read back whole.
TEST(Recording, TheWriterKeepsTheReadersLimits) {
    auto paths = [](size_t n, const std::string& body) {
        std::vector<RestAnswer> answers;
        for (size_t i = 0; i < n; ++i) answers.push_back({"/p" + std::to_string(i), 200, body});
        return answers;
    };
    struct Case {
        const char* what;
        std::vector<RestAnswer> answers;
        size_t kept;          // answers written
        const char* lastKept; // the last of them, "body" of its path
        bool overLimits;
    } cases[] = {
        {"one path answered three times",
         {{"/a", 200, "1"}, {"/b", 200, "x"}, {"/a", 200, "3"}},
         2,
         "/a 3",
         false},
        {"a body over the limit",
         {{"/a", 200, std::string(MaxAnswerBytes + 1, 'o')}, {"/b", 200, "{}"}},
         1,
         "/b {}",
         true},
        // Unpacked, a tick holds three bodies of the largest size.
        {"more bodies than a tick holds", paths(4, std::string(MaxAnswerBytes, 'b')), 3, "/p2",
         true},
        {"more answers than a tick holds", paths(MaxTickAnswers + 1, "{}"), MaxTickAnswers,
         "/p63 {}", true},
        {"a path too long", {{std::string(MaxPathBytes + 1, 'p'), 200, "{}"}}, 0, "", true},
    };
    for (Case& c : cases) {
        RecordingEncoder encoder;
        RecordedTick tick = tickOf(0, "", c.answers);
        EXPECT_EQ(encoder.encode(tick).empty(), c.overLimits) << c.what;
        std::string chunk = encoder.encodeFitting(tick);
        ASSERT_EQ(tick.answers.size(), c.kept) << c.what;
        std::string last = c.kept ? tick.answers.back().path + " " + tick.answers.back().body : "";
        EXPECT_EQ(last.substr(0, std::strlen(c.lastKept)), c.lastKept) << c.what;
        Replayed r = replay(encodeRecordingHeader({"2.1.29", 0}) + chunk);
        EXPECT_EQ(r.end, ChunkRead::End) << c.what;
        EXPECT_EQ(r.ticks.size(), 1u) << c.what;
    }
}

// Cut anywhere, a file reads up to its last whole tick; any changed byte
// inside a chunk stops the reading at that chunk.
TEST(Recording, CutOrDamagedFilesReadUpToTheirLastWholeTick) {
    std::string file = test::recordingOf(sampleTicks());
    std::vector<size_t> ends = test::chunkEnds(file);
    size_t header = encodeRecordingHeader({"2.1.29", 1796140800}).size();
    ASSERT_EQ(ends.size(), replay(file).ticks.size());
    for (size_t cut = header; cut < file.size(); ++cut) {
        Replayed r = replay(file.substr(0, cut));
        size_t wholeTicks = size_t(std::upper_bound(ends.begin(), ends.end(), cut) - ends.begin());
        EXPECT_EQ(r.ticks.size(), wholeTicks) << "cut at " << cut;
        bool atBoundary = cut == header || std::binary_search(ends.begin(), ends.end(), cut);
        EXPECT_EQ(r.end, atBoundary ? ChunkRead::End : ChunkRead::Cut) << "cut at " << cut;
    }
    // A whole chunk whose buffer would not fit the mapping a replay writes;
    // buffers that fill theirs (every slot of a full grid) read back.
    std::vector<RecordedTick> full = {tickOf(0, std::string(sizeof(TelemetryBuffer), 'x'))};
    full[0].scoring.resize(sizeof(ScoringBuffer));
    EXPECT_TRUE(replay(test::recordingOf(full)).ticks == full);
    full[0].telemetry += 'x';
    EXPECT_EQ(replay(test::recordingOf(full)).end, ChunkRead::Damaged);
    for (size_t pos = ends[1] + 4; pos < ends[2]; ++pos) {
        std::string damaged = file;
        damaged[pos] = char(damaged[pos] ^ 0x01);
        Replayed r = replay(damaged);
        EXPECT_EQ(r.end, ChunkRead::Damaged) << "byte " << pos;
        EXPECT_EQ(r.ticks.size(), 2u) << "byte " << pos;
    }
    // A file whose end is zeros, as a machine that lost power leaves it, is
    // cut short at its last whole tick; zeros with bytes after them are damage.
    size_t lastChunk = ends[2];
    std::string zeros(70000, '\0'), flipped = file; // more than one read of the tail
    flipped[lastChunk + 12] ^= 0x01;                // inside the last chunk, not at its end
    struct Case {
        std::string file;
        size_t ticks;
        ChunkRead end;
    } zeroTails[] = {
        {file + zeros, 4, ChunkRead::Cut},
        {file.substr(0, lastChunk) + zeros, 3, ChunkRead::Cut},
        {file.substr(0, lastChunk + 10) + zeros, 3, ChunkRead::Cut},
        {file.substr(0, file.size() - 3) + zeros, 3, ChunkRead::Cut},
        {file.substr(0, lastChunk + 10) + zeros + "x", 3, ChunkRead::Damaged},
        {file + zeros + file.substr(lastChunk), 4, ChunkRead::Damaged},
        {file.substr(0, lastChunk) + std::string(8, '\0') + "x", 3, ChunkRead::Damaged},
        {flipped + zeros, 3, ChunkRead::Damaged},
    };
    for (const Case& c : zeroTails) {
        Replayed r = replay(c.file);
        EXPECT_EQ(r.ticks.size(), c.ticks);
        EXPECT_EQ(r.end, c.end);
    }
}

namespace {

// One tick's bytes as they come out of a chunk: answers given as path and
// body, or path alone for "the same body as before", and no buffers.
std::string rawTick(const std::vector<std::pair<std::string, const std::string*>>& answers) {
    std::string raw(13, '\0'); // the time, the session time, the route
    auto put = [&](auto v) { raw.append(reinterpret_cast<const char*>(&v), sizeof v); };
    put(uint16_t(answers.size()));
    for (const auto& [path, body] : answers) {
        put(uint16_t(path.size()));
        raw += path;
        put(uint16_t(200));
        put(uint8_t(body ? 0 : 1));
        if (body) {
            put(uint32_t(body->size()));
            raw += *body;
        }
    }
    for (int i = 0; i < 3; ++i) put(uint32_t(0));
    return raw;
}

} // namespace

// A tick may not ask for more than the game could ever have sent: a small
// file must not make the replay copy one body thousands of times.
TEST(Recording, TicksBeyondTheLimitsAreDamaged) {
    std::string big(MaxAnswerBytes, 'x'), over(MaxAnswerBytes + 1, 'x'), small = "{}";
    RecordingBase base;
    base.bodies["/big"] = big;
    base.bodies["/small"] = small;
    base.bodyBytes = big.size() + small.size();
    RecordingBase full = base;
    full.bodyBytes = MaxBaseBytes;
    RecordingBase nearly = base;
    nearly.bodyBytes = MaxBaseBytes - small.size();
    using Answers = std::vector<std::pair<std::string, const std::string*>>;
    Answers copies(MaxTickAnswerBytes / MaxAnswerBytes, {"/big", nullptr});
    Answers many(MaxTickAnswers, {"/small", nullptr}), paths;
    for (size_t i = 0; i < MaxPaths - 2; ++i) paths.push_back({"/p" + std::to_string(i), &small});
    auto plus = [](Answers a, const std::string& path, const std::string* body) {
        a.push_back({path, body});
        return a;
    };
    struct Case {
        const char* what;
        Answers answers;
        const RecordingBase& base;
        bool whole;
        std::string after = "";
        size_t cut = 0; // bytes missing at the end
    } cases[] = {
        {"copies up to the tick's limit", copies, base, true},
        {"one copy more", plus(copies, "/big", nullptr), base, false},
        {"answers up to the limit", many, base, true},
        {"one answer more", plus(many, "/small", nullptr), base, false},
        {"a body at the limit", {{"/a", &big}}, base, true},
        {"a body over it", {{"/a", &over}}, base, false},
        {"paths up to the limit", paths, base, true},
        {"one path more", plus(paths, "/q", &small), base, false},
        {"a path at its limit", {{std::string(MaxPathBytes, 'p'), &small}}, base, true},
        {"a longer path", {{std::string(MaxPathBytes + 1, 'p'), &small}}, base, false},
        {"a full base, a body replaced by a shorter one", {{"/big", &small}}, full, true},
        {"a full base, one byte more", {{"/new", &small}}, full, false},
        {"a base filled to its limit", {{"/new", &small}}, nearly, true},
        {"a copy of a body never sent", {{"/none", nullptr}}, base, false},
        {"a byte after the buffers", {{"/a", &small}}, base, false, "x"},
        {"a tick cut short by its last field", {{"/a", &small}}, base, false, "", 4},
        {"a tick cut short inside a body", {{"/a", &small}}, base, false, "", 13},
    };
    for (const Case& c : cases) {
        RecordedTick tick;
        std::string raw = rawTick(c.answers) + c.after;
        EXPECT_EQ(decodeTick(raw.substr(0, raw.size() - c.cut), c.base, tick), c.whole) << c.what;
        if (c.whole) {
            // Of a path answered more than once, the newest answer.
            std::set<std::string> paths;
            for (const auto& [path, body] : c.answers) paths.insert(path);
            EXPECT_EQ(tick.answers.size(), paths.size()) << c.what;
        }
    }
}

TEST(Recording, OtherFilesAreRefusedWithAReason) {
    std::string good = encodeRecordingHeader({"2.1.29", 0});
    auto withByte = [&](size_t pos, char value) {
        std::string s = good;
        s[pos] = value;
        return s;
    };
    // Magic, format, body length and CRC, then the version, the start time
    // and the layout sizes: a changed size, with its CRC made to match.
    std::string otherLayout = good;
    otherLayout[20 + 2 + 6 + 8] ^= 0x01;
    uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(otherLayout.data() + 20),
                                  uInt(otherLayout.size() - 20)));
    std::memcpy(otherLayout.data() + 16, &crc, 4);
    struct Case {
        std::string file, message;
    } cases[] = {
        {"", "not a Korvane recording"},
        {withByte(0, 'X'), "not a Korvane recording"},
        {withByte(8, 3), "a recording of format 3 (Korvane Companion 2.1.29); this build "
                         "replays formats up to 2"},
        {withByte(8, 0), "a recording of format 0 (Korvane Companion 2.1.29); this build "
                         "replays formats up to 2"},
        {withByte(22, 'x'), "the recording's header is damaged"},
        {good.substr(0, good.size() - 1), "the recording's header is damaged"},
        {otherLayout, "recorded with other buffer layouts than this build's; replay it with "
                      "Korvane Companion 2.1.29"},
    };
    for (const Case& c : cases) {
        std::istringstream in(c.file);
        RecordingReader reader(in);
        RecordingInfo info;
        std::string err;
        EXPECT_FALSE(reader.readHeader(info, err)) << c.message;
        EXPECT_EQ(err, c.message);
    }
}

// The recorder keeps the header and the slots the header counts, no more.
TEST(Recording, CaptureTakesTheUsedSlots) {
    testkit::Scenario sc = test::scenarioFile("stint");
    testkit::ScenarioPlayer player(sc);
    testkit::FrameBuffers frame;
    frame.publish(sc, player.world());
    SharedViews views;
    views.telemetry = frame.telemetry.get();
    views.scoring = frame.scoring.get();
    RecordedTick tick;
    captureBuffers(views, tick);
    const size_t cars = sc.cars.size() + 1;
    ASSERT_EQ(tick.telemetry.size(),
              offsetof(TelemetryBuffer, vehicles) + cars * sizeof(VehicleTelemetry));
    EXPECT_EQ(std::memcmp(tick.telemetry.data(), frame.telemetry.get(), tick.telemetry.size()), 0);
    EXPECT_EQ(tick.scoring.size(),
              offsetof(ScoringBuffer, vehicles) + cars * sizeof(VehicleScoring));
    EXPECT_EQ(tick.sessionTime, frame.scoring->currentEt);
    EXPECT_TRUE(tick.pitMenu.empty());
}

// The reader's inflate gives back what zlib packed, whichever way zlib packed
// it, and refuses a stream cut short, one with bytes after it, one that needs
// another dictionary, and one that inflates past the limit.
TEST(Recording, InflateReadsEveryWayZlibPacks) {
    std::string data, dict = "{\"fuelInfo\": {\"currentVirtualEnergy\": 2900}}";
    std::mt19937 rng(7);
    while (data.size() < 300000) {
        size_t run = rng() % 5000;
        switch (rng() % 4) {
        case 0:
            data.append(run, '\0');
            break;
        case 1:
            data.append(run, char(rng()));
            break;
        case 2:
            for (size_t i = 0; i < run % 300; ++i) data += char(rng());
            break;
        default:
            data += dict.substr(0, run % dict.size()) + "abcabcab";
        }
    }
    struct {
        int level, strategy;
        bool withDict;
    } ways[] = {{0, Z_DEFAULT_STRATEGY, false}, {1, Z_DEFAULT_STRATEGY, false},
                {6, Z_DEFAULT_STRATEGY, true},  {9, Z_FIXED, false},
                {6, Z_HUFFMAN_ONLY, false},     {6, Z_RLE, true},
                {9, Z_FILTERED, false}};
    for (const auto& w : ways) {
        z_stream z{};
        ASSERT_EQ(deflateInit2(&z, w.level, Z_DEFLATED, 15, 8, w.strategy), Z_OK);
        if (w.withDict)
            deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(dict.data()),
                                 uInt(dict.size()));
        std::string packed(deflateBound(&z, uLong(data.size())), '\0');
        z.next_in = reinterpret_cast<Bytef*>(data.data());
        z.avail_in = uInt(data.size());
        z.next_out = reinterpret_cast<Bytef*>(packed.data());
        z.avail_out = uInt(packed.size());
        ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
        packed.resize(z.total_out);
        deflateEnd(&z);
        std::string out;
        auto used = [&] { return w.withDict ? dict : std::string(); };
        std::string what = std::to_string(w.level) + "/" + std::to_string(w.strategy);
        EXPECT_TRUE(inflateStream(packed, used, out, data.size())) << what;
        EXPECT_TRUE(out == data) << what;
        EXPECT_FALSE(inflateStream(packed.substr(0, packed.size() - 1), used, out, data.size()))
            << what;
        EXPECT_FALSE(inflateStream(packed + "x", used, out, data.size())) << what;
        EXPECT_FALSE(inflateStream(char(packed[0] ^ 1) + packed.substr(1), used, out, data.size()))
            << what; // a method other than deflate
        EXPECT_FALSE(inflateStream(packed, used, out, data.size() - 1)) << what;
        if (w.withDict) {
            EXPECT_FALSE(inflateStream(
                packed, [&] { return dict + " "; }, out, data.size()))
                << what;
        }
    }
}

// Which route fed each tick survives the file; a recording of the first
// format (made before the route was kept) reads as the plugin's wherever it
// holds buffers, and a route beyond the known ones is damage.
TEST(Recording, TheRouteOfEachTick) {
    RecordedTick game, none;
    game.telemetry = std::string(20, '\1');
    game.source = TelemetrySource::Game;
    none.ms = 500;
    std::istringstream in(test::recordingOf({game, none}));
    RecordingReader reader(in);
    RecordingInfo info;
    std::string err;
    ASSERT_TRUE(reader.readHeader(info, err)) << err;
    RecordedTick t;
    ASSERT_EQ(reader.next(t), ChunkRead::Tick);
    EXPECT_EQ(t.source, TelemetrySource::Game);
    ASSERT_EQ(reader.next(t), ChunkRead::Tick);
    EXPECT_EQ(t.source, TelemetrySource::None);

    std::istringstream old(test::readFile(KORVANE_RECORDING_DIR "/stint.kvr"));
    RecordingReader oldReader(old);
    ASSERT_TRUE(oldReader.readHeader(info, err)) << err;
    int plugin = 0, empty = 0;
    while (oldReader.next(t) == ChunkRead::Tick) {
        EXPECT_EQ(t.source, t.telemetry.empty() ? TelemetrySource::None : TelemetrySource::Plugin);
        (t.telemetry.empty() ? empty : plugin) += 1;
    }
    EXPECT_GT(plugin, 0);

    std::string raw = rawTick({});
    raw[12] = 3;
    EXPECT_FALSE(decodeTick(raw, RecordingBase{}, t));
    raw.erase(12, 1);
    EXPECT_TRUE(decodeTick(raw, RecordingBase{}, t, 1));
}

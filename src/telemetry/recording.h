#pragma once
// The recording file: what a driver's machine saw, tick by tick, so a session
// can be replayed anywhere. A header, then one self-delimited chunk per tick:
// its length, a CRC-32 and a zlib stream holding the tick as the difference
// from the tick before. A file cut anywhere still reads up to its last whole
// chunk. The byte layout is written down in docs/recordings.md.
#include "telemetry/game_source.h"

#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

namespace korvane {

inline constexpr char RecordingMagic[8] = {'K', 'V', 'R', 'E', 'C', 'O', 'R', 'D'};
// Format 2 added which route fed each tick; format 1 files (all through the
// plugin) are still read.
inline constexpr uint32_t RecordingFormat = 2;
inline constexpr uint32_t OldestRecordingFormat = 1;
// No honest tick comes near these. The game answers up to 16 MiB, a few
// times per tick at most; a file that asks for more (an answer copied
// thousands of times) is damaged, however small it is on disk.
inline constexpr uint32_t MaxChunkBytes = 16u << 20;            // one chunk as stored
inline constexpr size_t MaxTickBytes = size_t(64) << 20;        // one chunk unpacked
inline constexpr size_t MaxTickAnswers = 64;                    // answers in one tick
inline constexpr size_t MaxAnswerBytes = size_t(16) << 20;      // one answer's body
inline constexpr size_t MaxTickAnswerBytes = size_t(128) << 20; // a tick's bodies, copies included
inline constexpr size_t MaxPaths = 64;                          // paths a replay keeps a body for
inline constexpr size_t MaxPathBytes = 1024;                    // one path
inline constexpr size_t MaxBaseBytes = size_t(128) << 20; // the bodies kept for the next ticks

// One answer of the game's REST interface; status 0 when none came.
struct RestAnswer {
    std::string path;
    uint16_t status = 0;
    std::string body;
    // Read back only: the body is the same as this path's answer before, and
    // is left empty rather than copied (late in a long race the strategy
    // answer is megabytes, repeated every poll). RecordingReader::lastBody
    // has it.
    bool repeated = false;
    bool operator==(const RestAnswer& o) const {
        return path == o.path && status == o.status && body == o.body;
    }
};

struct RecordedTick {
    uint32_t ms = 0;         // since the recording started
    double sessionTime = -1; // the scoring buffer's, -1 when it was not published
    // The route that fed the buffers. Through the game's own interface they
    // hold what the analysis read: its blocks in the plugin's layout.
    TelemetrySource source = TelemetrySource::None;
    std::string telemetry;           // header and used vehicle slots; empty: not published
    std::string scoring;             // the same
    std::string pitMenu;             // the bytes the program maps; empty: not published
    std::vector<RestAnswer> answers; // every answer since the tick before
    bool operator==(const RecordedTick&) const = default;
};

// What the header says beyond the magic and the format.
struct RecordingInfo {
    std::string programVersion;
    int64_t startedAt = 0; // seconds since 1970
};

std::string encodeRecordingHeader(const RecordingInfo& info);

// What a chunk is the difference from: the tick before's buffers and the
// latest body of every path.
struct RecordingBase {
    std::string telemetry, scoring, pitMenu;
    std::map<std::string, std::string> bodies;
    size_t bodyBytes = 0; // of all bodies
    void advance(const RecordedTick& tick);
};

// Whether a tick's answers stay within the limits above, read against the
// base: the reader's test of every tick, and the writer's.
[[nodiscard]] bool answersWithinLimits(const std::vector<RestAnswer>& answers,
                                       const RecordingBase& base);

// One tick as it comes out of its chunk, read against the base: false when it
// is damaged, or asks for more than the limits above. A repeated body is
// marked, not copied; of a path answered more than once only the newest
// answer is kept.
[[nodiscard]] bool decodeTick(const std::string& raw, const RecordingBase& base, RecordedTick& tick,
                              uint32_t format = RecordingFormat);

// Turns ticks into chunks. Each chunk depends on the chunks before it, so a
// tick is committed only once its chunk is safely in the file.
class RecordingEncoder {
  public:
    // Keeps the newest answer of each path, and of those as many as the
    // reader's limits take, in their order.
    void fit(RecordedTick& tick) const;
    // Empty for a tick that does not fit (see fit), or whose chunk would be
    // larger, packed or unpacked, than the reader takes.
    std::string encode(const RecordedTick& tick) const;
    // Fits the tick and encodes it, leaving out its last answers while the
    // chunk would still be too large: what the recorder writes.
    std::string encodeFitting(RecordedTick& tick) const;
    void commit(const RecordedTick& tick) { base_.advance(tick); }

  private:
    RecordingBase base_;
};

enum class ChunkRead { Tick, End, Cut, Damaged };

// Reads a recording from a stream, one tick at a time.
class RecordingReader {
  public:
    explicit RecordingReader(std::istream& in) : in_(in) {}
    // False with a message for the driver when the file is not a recording
    // this build can replay.
    bool readHeader(RecordingInfo& info, std::string& err);
    ChunkRead next(RecordedTick& tick);
    int ticksRead() const { return ticks_; }
    // The bytes of the file's chunks read so far.
    uint64_t bytesRead() const { return bytes_; }
    // The path's latest body, as of the tick read last; empty when none.
    const std::string& lastBody(const std::string& path) const;
    // The answer's body whether or not it repeated the one before.
    const std::string& bodyOf(const RestAnswer& answer) const {
        return answer.repeated ? lastBody(answer.path) : answer.body;
    }

  private:
    std::istream& in_;
    uint32_t format_ = RecordingFormat;
    int ticks_ = 0;
    uint64_t bytes_ = 0;
    RecordingBase base_;
};

} // namespace korvane

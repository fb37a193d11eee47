#include "telemetry/recording.h"

#include "core/strings.h"
#include "telemetry/inflate.h"
#include "telemetry/layout.h"

#include <algorithm>
#include <cstring>
#include <istream>
#include <zlib.h>

namespace korvane {

namespace {

// The buffer layouts a recording is bound to, in header order.
constexpr uint32_t LayoutSizes[] = {
    offsetof(TelemetryBuffer, vehicles),
    sizeof(VehicleTelemetry),
    offsetof(ScoringBuffer, vehicles),
    sizeof(VehicleScoring),
    sizeof(PitMenuBuffer),
    MaxVehicles,
    500, // milliseconds between ticks
};

// zlib's window: a dictionary reaches no further back than this.
constexpr size_t DictionaryBytes = 32768;
// An inflated tick larger than this comes from a damaged chunk.

template <class T> void put(std::string& out, T v) {
    char bytes[sizeof v];
    std::memcpy(bytes, &v, sizeof v);
    out.append(bytes, sizeof v);
}

void putText(std::string& out, const std::string& text, bool wide) {
    if (wide)
        put(out, uint32_t(text.size()));
    else
        put(out, uint16_t(text.size()));
    out += text;
}

// Reads fields off a byte string; once anything is missing every later read
// fails too.
struct Fields {
    const std::string& bytes;
    size_t pos = 0;
    bool ok = true;

    template <class T> T get() {
        T v{};
        if (ok && bytes.size() - pos >= sizeof v) {
            std::memcpy(&v, bytes.data() + pos, sizeof v);
            pos += sizeof v;
        } else {
            ok = false;
        }
        return v;
    }
    std::string take(size_t n) {
        if (!ok || bytes.size() - pos < n) {
            ok = false;
            return {};
        }
        pos += n;
        return bytes.substr(pos - n, n);
    }
    std::string text(bool wide) { return take(wide ? get<uint32_t>() : get<uint16_t>()); }
};

// The bytes of `now` XORed with those before (zero past their end): a buffer
// that barely changed becomes mostly zeros, which deflate squeezes to little.
std::string difference(const std::string& now, const std::string& before) {
    std::string out = now;
    size_t n = std::min(now.size(), before.size());
    char* o = out.data();
    const char* b = before.data();
    size_t i = 0;
    // Eight bytes at a time: a day's recording runs this over gigabytes.
    for (; i + 8 <= n; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, o + i, 8);
        std::memcpy(&y, b + i, 8);
        x ^= y;
        std::memcpy(o + i, &x, 8);
    }
    for (; i < n; ++i) o[i] = char(o[i] ^ b[i]);
    return out;
}

// The last bodies of every endpoint: the next answers mostly repeat them.
// Their concatenation in path order, of which only the tail is in reach: it
// is gathered from the end, never copying the megabytes before it.
std::string dictionary(const std::map<std::string, std::string>& bodies) {
    std::string tail(DictionaryBytes, '\0');
    size_t room = DictionaryBytes;
    for (auto it = bodies.rbegin(); it != bodies.rend() && room > 0; ++it) {
        const std::string& body = it->second;
        size_t n = std::min(room, body.size());
        room -= n;
        tail.replace(room, n, body, body.size() - n, n);
    }
    return tail.substr(room);
}

const Bytef* zbytes(const std::string& s) {
    return reinterpret_cast<const Bytef*>(s.data());
}

bool deflateWith(const std::string& raw, const std::string& dict, std::string& out) {
    z_stream z{};
    if (deflateInit(&z, Z_DEFAULT_COMPRESSION) != Z_OK) return false;
    bool ok = dict.empty() || deflateSetDictionary(&z, zbytes(dict), uInt(dict.size())) == Z_OK;
    out.resize(deflateBound(&z, uLong(raw.size())));
    z.next_in = const_cast<Bytef*>(zbytes(raw));
    z.avail_in = uInt(raw.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    ok = ok && deflate(&z, Z_FINISH) == Z_STREAM_END;
    out.resize(z.total_out);
    deflateEnd(&z);
    return ok;
}

uint32_t crcOf(const std::string& bytes) {
    return uint32_t(crc32(0, zbytes(bytes), uInt(bytes.size())));
}

std::string framed(const std::string& body) {
    std::string out;
    put(out, uint32_t(body.size()));
    put(out, crcOf(body));
    return out + body;
}

} // namespace

std::string encodeRecordingHeader(const RecordingInfo& info) {
    std::string body;
    putText(body, info.programVersion, false);
    put(body, info.startedAt);
    for (uint32_t size : LayoutSizes) put(body, size);
    std::string out(RecordingMagic, sizeof RecordingMagic);
    put(out, RecordingFormat);
    return out + framed(body);
}

void RecordingBase::advance(const RecordedTick& tick) {
    telemetry = tick.telemetry;
    scoring = tick.scoring;
    pitMenu = tick.pitMenu;
    for (const RestAnswer& a : tick.answers) {
        std::string& kept = bodies[a.path];
        if (a.repeated) continue;
        bodyBytes += a.body.size() - kept.size();
        kept = a.body;
    }
}

namespace {

// The path's body as the ticks before left it; null when it never answered.
const std::string* previousBody(const RecordingBase& base, const std::string& path) {
    auto last = base.bodies.find(path);
    return last != base.bodies.end() ? &last->second : nullptr;
}

} // namespace

std::string RecordingEncoder::encode(const RecordedTick& tick) const {
    // Never a tick its own reader would call damaged.
    if (!answersWithinLimits(tick.answers, base_)) return {};
    std::string raw;
    put(raw, tick.ms);
    put(raw, tick.sessionTime);
    put(raw, uint8_t(tick.source));
    // Answers first: their dictionary lies within reach only at the start.
    put(raw, uint16_t(tick.answers.size()));
    for (const RestAnswer& a : tick.answers) {
        putText(raw, a.path, false);
        put(raw, a.status);
        const std::string* previous = previousBody(base_, a.path);
        bool same = previous && *previous == a.body;
        put(raw, uint8_t(same ? 1 : 0));
        if (!same) putText(raw, a.body, true);
    }
    const std::string* buffers[] = {&tick.telemetry, &tick.scoring, &tick.pitMenu};
    const std::string* before[] = {&base_.telemetry, &base_.scoring, &base_.pitMenu};
    for (const std::string* b : buffers) put(raw, uint32_t(b->size()));
    for (size_t i = 0; i < 3; ++i) raw += difference(*buffers[i], *before[i]);
    std::string packed;
    // Only answers can use the last bodies; a tick without any needs none.
    std::string dict = tick.answers.empty() ? std::string() : dictionary(base_.bodies);
    if (raw.size() > MaxTickBytes || !deflateWith(raw, dict, packed) ||
        packed.size() > MaxChunkBytes)
        return {};
    return framed(packed);
}

std::string RecordingEncoder::encodeFitting(RecordedTick& tick) const {
    fit(tick);
    for (;;) {
        std::string chunk = encode(tick);
        if (!chunk.empty() || tick.answers.empty()) return chunk;
        tick.answers.pop_back();
    }
}

namespace {

enum class Framed { Ok, End, Cut, Damaged };

// Whether the bytes read last end in a zero and nothing but zeros follows to
// the end of the file: what a file system leaves of the last writes when the
// machine loses power, a cut rather than damage.
bool zerosToTheEnd(std::istream& in, const char* last, size_t n) {
    if (n == 0 || last[n - 1] != 0) return false;
    char buf[65536];
    while (in.read(buf, sizeof buf) || in.gcount() > 0)
        for (std::streamsize i = 0; i < in.gcount(); ++i)
            if (buf[i] != 0) return false;
    return true;
}

Framed readFramed(std::istream& in, std::string& body) {
    char head[8];
    in.read(head, sizeof head);
    if (in.gcount() == 0) return Framed::End;
    if (in.gcount() < std::streamsize(sizeof head)) return Framed::Cut;
    uint32_t length, crc;
    std::memcpy(&length, head, 4);
    std::memcpy(&crc, head + 4, 4);
    // No chunk is empty: a zlib stream takes bytes of its own.
    if (length == 0 || length > MaxChunkBytes)
        return zerosToTheEnd(in, head, sizeof head) ? Framed::Cut : Framed::Damaged;
    body.resize(length);
    in.read(body.data(), std::streamsize(length));
    if (in.gcount() < std::streamsize(length)) return Framed::Cut;
    if (crcOf(body) == crc) return Framed::Ok;
    return zerosToTheEnd(in, body.data(), body.size()) ? Framed::Cut : Framed::Damaged;
}

} // namespace

bool RecordingReader::readHeader(RecordingInfo& info, std::string& err) {
    char magic[sizeof RecordingMagic] = {};
    uint32_t format = 0;
    in_.read(magic, sizeof magic);
    in_.read(reinterpret_cast<char*>(&format), sizeof format);
    if (!in_ || std::memcmp(magic, RecordingMagic, sizeof magic) != 0) {
        err = "not a Korvane recording";
        return false;
    }
    std::string body;
    Framed framed = readFramed(in_, body);
    Fields f{body};
    // Shown to whoever replays the file: its words, never its commands.
    info.programVersion = shownText(f.text(false));
    info.startedAt = f.get<int64_t>();
    if (framed != Framed::Ok || !f.ok) {
        err = "the recording's header is damaged";
        return false;
    }
    if (format < OldestRecordingFormat || format > RecordingFormat) {
        err = "a recording of format " + std::to_string(format) + " (Korvane Companion " +
              info.programVersion + "); this build replays formats up to " +
              std::to_string(RecordingFormat);
        return false;
    }
    for (uint32_t size : LayoutSizes) {
        if (f.get<uint32_t>() != size || !f.ok) {
            err = "recorded with other buffer layouts than this build's; replay it with "
                  "Korvane Companion " +
                  info.programVersion;
            return false;
        }
    }
    format_ = format;
    return true;
}

namespace {

// Whether the bodies kept for the ticks after this one stay within the limits.
bool baseWithinLimits(const std::vector<RestAnswer>& answers, const RecordingBase& base) {
    std::map<std::string, size_t> after; // the size each path this tick answers ends with
    for (const RestAnswer& a : answers)
        if (!a.repeated) after[a.path] = a.body.size();
    size_t kept = base.bodyBytes, paths = base.bodies.size();
    for (const auto& [path, size] : after) {
        auto before = base.bodies.find(path);
        if (before == base.bodies.end())
            paths += 1;
        else
            kept -= before->second.size();
        kept += size;
    }
    return paths <= MaxPaths && kept <= MaxBaseBytes;
}

// Only the newest answer of each path counts for what comes after the tick:
// the earlier ones are dropped, never copied.
void keepNewestPerPath(std::vector<RestAnswer>& answers) {
    std::vector<RestAnswer> kept;
    for (size_t i = 0; i < answers.size(); ++i) {
        bool later = std::any_of(answers.begin() + long(i) + 1, answers.end(),
                                 [&](const RestAnswer& b) { return b.path == answers[i].path; });
        if (!later) kept.push_back(std::move(answers[i]));
    }
    answers.swap(kept);
}

} // namespace

bool answersWithinLimits(const std::vector<RestAnswer>& answers, const RecordingBase& base) {
    if (answers.size() > MaxTickAnswers) return false;
    size_t total = 0;
    for (const RestAnswer& a : answers) {
        if (a.path.size() > MaxPathBytes) return false;
        size_t size = a.body.size();
        if (a.repeated) {
            const std::string* previous = previousBody(base, a.path);
            if (!previous) return false;
            size = previous->size();
        } else if (size > MaxAnswerBytes) {
            return false;
        }
        if (size > MaxTickAnswerBytes - total) return false;
        total += size;
    }
    return baseWithinLimits(answers, base);
}

void RecordingEncoder::fit(RecordedTick& tick) const {
    keepNewestPerPath(tick.answers);
    std::vector<RestAnswer> kept;
    for (RestAnswer& a : tick.answers) {
        kept.push_back(std::move(a));
        if (!answersWithinLimits(kept, base_)) kept.pop_back();
    }
    tick.answers.swap(kept);
}

bool decodeTick(const std::string& raw, const RecordingBase& base, RecordedTick& tick,
                uint32_t format) {
    Fields f{raw};
    RecordedTick t;
    t.ms = f.get<uint32_t>();
    t.sessionTime = f.get<double>();
    uint8_t source = format >= 2 ? f.get<uint8_t>() : 0;
    f.ok = f.ok && source <= uint8_t(TelemetrySource::Game);
    size_t count = f.get<uint16_t>();
    f.ok = f.ok && count <= MaxTickAnswers;
    for (size_t n = 0; f.ok && n < count; ++n) {
        t.answers.emplace_back();
        RestAnswer& a = t.answers.back();
        a.path = f.text(false);
        a.status = f.get<uint16_t>();
        // A repeat is marked, never copied: a file may ask for thousands.
        a.repeated = f.get<uint8_t>() == 1;
        if (!a.repeated) a.body = f.text(true);
    }
    f.ok = f.ok && answersWithinLimits(t.answers, base);
    // A path answered more than once (files of earlier versions) keeps its
    // newest answer: a repeat left then is the only one of its path, and its
    // body stays what the ticks before left, for this tick and the next.
    if (f.ok) keepNewestPerPath(t.answers);
    std::string* buffers[] = {&t.telemetry, &t.scoring, &t.pitMenu};
    const std::string* before[] = {&base.telemetry, &base.scoring, &base.pitMenu};
    uint32_t sizes[3];
    for (uint32_t& size : sizes) size = f.get<uint32_t>();
    // Never more than the mapping a replay writes them into.
    f.ok = f.ok && sizes[0] <= sizeof(TelemetryBuffer) && sizes[1] <= sizeof(ScoringBuffer) &&
           sizes[2] <= sizeof(PitMenuBuffer);
    for (size_t i = 0; i < 3 && f.ok; ++i) *buffers[i] = difference(f.take(sizes[i]), *before[i]);
    if (!f.ok || f.pos != raw.size()) return false;
    // Before the route was recorded, every tick with buffers came through the plugin.
    t.source = format >= 2           ? TelemetrySource(source)
               : t.telemetry.empty() ? TelemetrySource::None
                                     : TelemetrySource::Plugin;
    tick = std::move(t);
    return true;
}

const std::string& RecordingReader::lastBody(const std::string& path) const {
    static const std::string none;
    const std::string* body = previousBody(base_, path);
    return body ? *body : none;
}

ChunkRead RecordingReader::next(RecordedTick& tick) {
    std::string packed, raw;
    switch (readFramed(in_, packed)) {
    case Framed::End:
        return ChunkRead::End;
    case Framed::Cut:
        return ChunkRead::Cut;
    case Framed::Damaged:
        return ChunkRead::Damaged;
    case Framed::Ok:
        break;
    }
    RecordedTick t;
    auto dict = [this] { return dictionary(base_.bodies); };
    if (!inflateStream(packed, dict, raw, MaxTickBytes) || !decodeTick(raw, base_, t, format_))
        return ChunkRead::Damaged;
    base_.advance(t);
    ticks_ += 1;
    bytes_ += packed.size();
    tick = std::move(t);
    return ChunkRead::Tick;
}

} // namespace korvane

#pragma once
// Helpers shared by the unit tests.
#include "platform/shm.h"
#include "scenario.h"
#include "telemetry/recording.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace korvane::test {

// A scenario from inline text; a parse failure fails the test.
inline testkit::Scenario scenarioFrom(const std::string& text) {
    testkit::Scenario sc;
    std::string err;
    EXPECT_TRUE(testkit::parseScenario(text, sc, err)) << err;
    return sc;
}

inline testkit::Scenario scenarioFile(const std::string& name) {
    testkit::Scenario sc;
    std::string err;
    EXPECT_TRUE(testkit::loadScenarioFile(std::string(KORVANE_SCENARIO_DIR) + "/" + name, sc, err))
        << err;
    return sc;
}

inline std::string readFile(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

inline void writeFile(const std::filesystem::path& p, const std::string& text) {
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f << text;
}

using testkit::putText;

inline std::string fixture(const std::string& name) {
    return readFile(std::filesystem::path(KORVANE_FIXTURE_DIR) / name);
}

// An answer recorded from the game's REST interface, as the fake game serves it.
inline std::string recording(const std::string& name) {
    return readFile(std::filesystem::path(KORVANE_RECORDING_DIR) / name);
}

// Where each tick's chunk of a recording ends: its header says how long it
// is, and each chunk starts with its packed length and CRC.
inline std::vector<size_t> chunkEnds(const std::string& file) {
    uint32_t length;
    std::memcpy(&length, file.data() + 12, 4);
    std::vector<size_t> ends;
    for (size_t pos = 20 + length; pos < file.size(); ends.push_back(pos)) {
        std::memcpy(&length, file.data() + pos, 4);
        pos += 8 + length;
    }
    return ends;
}

// A recording of these ticks, as the recorder writes one.
inline std::string recordingOf(const std::vector<RecordedTick>& ticks) {
    RecordingEncoder encoder;
    std::string file = encodeRecordingHeader({"2.1.29", 1796140800});
    for (const RecordedTick& t : ticks) {
        file += encoder.encode(t);
        encoder.commit(t);
    }
    return file;
}

// A name that no other test, and no other run of this one beside it, uses.
inline std::string uniqueName(const std::string& prefix) {
    auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = prefix + info->test_suite_name() + "-" + info->name() + "-" +
                       std::to_string(std::random_device{}()) + "-" +
                       std::to_string(std::random_device{}());
    for (char& c : name)
        if (c == '/') c = '_';
    return name;
}

// A fresh folder under the system temp folder, removed however the test ends.
class TempDir {
  public:
    TempDir() : path_(std::filesystem::temp_directory_path() / uniqueName("korvane-")) {
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

// A named mapping of `size` zeroed bytes, under a name none of the game's,
// removed however the test ends; `created` says whether it was made.
struct TestMapping {
    const std::string name = uniqueName("korvane-test-");
    OwnedMapping owned;
    std::string error;
    const bool created;
    explicit TestMapping(size_t size) : created(createMapping(name.c_str(), size, owned, error)) {}
    ~TestMapping() {
        if (created) destroyMapping(owned);
    }
};

} // namespace korvane::test

// What only the Linux platform layer does: a publisher that cuts its file
// short at any moment, and file names of any bytes.
#include "platform/files.h"
#include "platform/shm.h"
#include "platform/text.h"
#include "test_support.h"
#include "tools/probe.h"

#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace korvane;

TEST(MappedView, AFileCutShortReadsAsZerosAndIsNoLongerCurrent) {
    const size_t size = 65536;
    test::TestMapping mapping(size);
    ASSERT_TRUE(mapping.created) << mapping.error;
    mapping.owned.data[10] = 5;
    mapping.owned.data[40000] = 7;
    MappedView view = openMappingView(mapping.name.c_str(), size);
    ASSERT_NE(view.data, nullptr);
    const volatile uint8_t* bytes = view.data;
    EXPECT_EQ(bytes[10], 5);
    EXPECT_EQ(bytes[40000], 7);
    EXPECT_TRUE(mappingViewCurrent(view));

    const std::string file = "/dev/shm/" + mapping.name;
    ASSERT_EQ(truncate(file.c_str(), 100), 0);
    EXPECT_EQ(bytes[40000], 0);
    EXPECT_EQ(bytes[10], 0); // the whole view, also what the file still holds
    EXPECT_FALSE(mappingViewCurrent(view));
    // The probe reads every offset without checking in between.
    std::ostringstream out;
    probeRun(
        view.data, nullptr, 2, [] {}, out);

    // Grown back to its size, the file is still not what the view shows: only
    // opening it again does.
    ASSERT_EQ(truncate(file.c_str(), off_t(size)), 0);
    EXPECT_FALSE(mappingViewCurrent(view));
    closeMappingView(view);
}

// Anyone may put a file under /dev/shm: a FIFO there is passed by without
// waiting, a link or another user's file is no mapping.
TEST(MappedView, OnlyARegularFileOfTheUsersOwn) {
    test::TestMapping mapping(4096);
    ASSERT_TRUE(mapping.created) << mapping.error;
    const std::string file = "/dev/shm/" + mapping.name, fifo = file + "-fifo", link = file + "-l";
    ASSERT_TRUE(::mkfifo(fifo.c_str(), 0666) == 0 && ::symlink(file.c_str(), link.c_str()) == 0);
    for (const std::string& planted : {fifo, link}) {
        MappedView view = openMappingView(planted.substr(9).c_str(), 4096);
        EXPECT_TRUE(!view.found && !view.data) << planted;
        ::unlink(planted.c_str());
    }
    MappedView small = openMappingView(mapping.name.c_str(), 8192); // there, but too small
    EXPECT_TRUE(small.found && !small.data);
    bool root = ::geteuid() == 0;
    for (bool own : {true, false}) {
        if (!own && !root) continue;
        if (!own) {
            ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
        }
        MappedView view = openMappingView(mapping.name.c_str(), 4096);
        EXPECT_EQ(view.data != nullptr, own);
        closeMappingView(view);
    }
    if (!root) GTEST_SKIP() << "handing the file to another user needs root";
}

// Bytes that are not UTF-8 (a file name may hold any) come back unchanged.
TEST(WideText, AnyBytesSurviveTheRoundTrip) {
    std::string every;
    for (int b = 1; b < 256; ++b) every += char(b);
    for (const std::string& bytes :
         {every, std::string("\xFF\xFE"), std::string("caf\xC3"), std::string("\xC3\x28"),
          std::string("\xE2\x82"), std::string("\xED\xA0\x80"), std::string("\xED\xB2\x80"),
          std::string("\xC0\xAF"), std::string("\xF4\x90\x80\x80"),
          std::string("\xF8\x88\x80\x80\x80"),
          std::string("Z\xC3\xBCrich \xE2\x80\x94 \xF0\x9F\x8F\x81 \x80")}) {
        EXPECT_EQ(wideToUtf8(utf8ToWide(bytes)), bytes) << testing::PrintToString(bytes);
    }
}

// Files others control: a FIFO where a settings or room file should be is
// refused at once (reading it would wait for a writer that never comes); a
// recording, which holds everyone's names, is made for its owner alone.
TEST(PosixFiles, AFifoIsRefusedAndARecordingIsTheOwnersAlone) {
    test::TempDir dir;
    std::string fifo = dir.file("fifo"), recording = dir.file("race.kvr"), data;
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(readFileBytes(utf8ToWide(fifo), data, 4096));
    ::umask(022);
    NewFile file;
    ASSERT_EQ(file.create(utf8ToWide(recording)), NewFile::Created::Ok);
    auto mode = [](const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 01000;
    };
    EXPECT_EQ(mode(recording), 0600u);

    // The room file and the log carry the room code: their owner's alone,
    // also where an earlier version left them readable to all. A page is a
    // document to pass around.
    std::string room = dir.file("room"), log = dir.file("live.log"), page = dir.file("p.html");
    for (const std::string& old : {room, log}) {
        test::writeFile(old, "old\n");
        ::chmod(old.c_str(), 0644);
    }
    EXPECT_EQ(replaceFileBytes(utf8ToWide(room), "R\n", Readers::OwnerOnly), WriteStatus::Ok);
    EXPECT_TRUE(appendFileBytes(utf8ToWide(log), "line\n"));
    NewFile pageFile;
    ASSERT_EQ(pageFile.create(utf8ToWide(page), Readers::Everyone), NewFile::Created::Ok);
    EXPECT_EQ(replaceFileBytes(utf8ToWide(page), "<html>"), WriteStatus::Ok);
    EXPECT_EQ(mode(room), 0600u);
    EXPECT_EQ(mode(log), 0600u);
    EXPECT_EQ(mode(page), 0644u);
    EXPECT_TRUE(appendFileBytes(utf8ToWide(dir.file("new.log")), "line\n"));
    EXPECT_EQ(mode(dir.file("new.log")), 0600u);

    // A link planted at the temporary name beside a file being replaced
    // leads nowhere: the file it points at stays as it was.
    std::string victim = dir.file("victim");
    test::writeFile(victim, "mine");
    ASSERT_EQ(::symlink(victim.c_str(), (page + ".korvane-new").c_str()), 0);
    EXPECT_EQ(replaceFileBytes(utf8ToWide(page), "<html>2"), WriteStatus::Ok);
    EXPECT_EQ(test::readFile(victim), "mine");
    EXPECT_EQ(test::readFile(page), "<html>2");
}

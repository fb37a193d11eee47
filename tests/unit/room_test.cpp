#include "app/room.h"
#include "platform/files.h"
#include "platform/machine.h"
#include "test_support.h"

#include <filesystem>

using namespace korvane;
using korvane::test::readFile;
using korvane::test::TempDir;
using korvane::test::writeFile;

// The first line, without white space at either end; no file, or nothing on
// the first line, is no code.
TEST(RoomFile, FirstLineTrimmed) {
    struct Case {
        const char* text; // null: no file
        const char* code; // null: no code
    } cases[] = {
        {"  TEAM-42  \r\nsecond line\nthird\n", "TEAM-42"},
        {"\v\tab c\v\f\n", "ab c"},
        {"\xC3\xA9t\xC3\xA9 ", "\xC3\xA9t\xC3\xA9"},
        {nullptr, nullptr},
        {"", nullptr},
        {"   \r\n", nullptr},
        {"\n\nROOM\n", nullptr},
    };
    for (const Case& c : cases) {
        TempDir dir;
        std::string path = dir.file("korvane_room.txt"), code = "keep";
        if (c.text) writeFile(path, c.text);
        EXPECT_EQ(loadRoomCode(path, code), c.code != nullptr) << (c.text ? c.text : "no file");
        EXPECT_EQ(code, c.code ? c.code : "keep");
    }
}

struct Dialogue {
    std::string input;
    const char* fileBefore; // null: no file
    bool ok;
    std::string room;
    std::string output;
    const char* fileAfter;
};

TEST(RoomDialogue, Table) {
    Dialogue cases[] = {
        {"\n", "OLD\n", true, "OLD", "Room (from R): OLD\nNew room (Enter to keep): ", "OLD\n"},
        {"", "OLD\r\n", true, "OLD", // input already ended: same as Enter
         "Room (from R): OLD\nNew room (Enter to keep): ", "OLD\r\n"},
        {"  NEW 1 \n", "OLD\n", true, "NEW 1",
         "Room (from R): OLD\nNew room (Enter to keep): ", "NEW 1\n"},
        {"ABC\n", nullptr, true, "ABC", "Room code (from website ?room=): Saved to R\n", "ABC\n"},
        // A stored code is shown, never obeyed.
        {"\n", "O\x1b[2J\x9b\n", true, "O\x1b[2J\x9b",
         "Room (from R): O?[2J?\nNew room (Enter to keep): ", "O\x1b[2J\x9b\n"},
        {"   \n\t\nXYZ\r\n", "  \n", true, "XYZ",
         "Room code (from website ?room=): Room is required.\n"
         "Room code (from website ?room=): Room is required.\n"
         "Room code (from website ?room=): Saved to R\n",
         "XYZ\n"},
    };
    for (const Dialogue& c : cases) {
        TempDir dir;
        std::string path = dir.file("R");
        if (c.fileBefore) writeFile(path, c.fileBefore);
        std::istringstream in(c.input);
        std::ostringstream out;
        std::string room;
        // The prompts name the file by the path given; here that is dir/R.
        ASSERT_EQ(settleRoomCode(path, in, out, room), c.ok) << c.input;
        EXPECT_EQ(room, c.room);
        std::string expected = c.output;
        for (size_t p; (p = expected.find("(from R)")) != std::string::npos;)
            expected.replace(p, 8, "(from " + path + ")");
        for (size_t p; (p = expected.find("Saved to R")) != std::string::npos;)
            expected.replace(p, 10, "Saved to " + path);
        EXPECT_EQ(out.str(), expected);
        EXPECT_EQ(readFile(path), c.fileAfter);
    }
}

TEST(RoomDialogue, UnwritableFileStillConfirms) {
    TempDir dir;
    std::string path = (dir.path() / "no-such-dir" / "R").string();
    std::istringstream in("CODE\n");
    std::ostringstream out;
    std::string room;
    ASSERT_TRUE(settleRoomCode(path, in, out, room));
    EXPECT_EQ(room, "CODE");
    EXPECT_NE(out.str().find("Saved to "), std::string::npos);
}

// Files that the user or the game controls are read whole or not at all:
// never a folder, never more than the caller's limit.
TEST(ReadFileBytes, OnlyARegularFileWithinTheLimit) {
    TempDir dir;
    std::string data = "x";
    writeFile(dir.file("four"), "abcd");
    EXPECT_TRUE(readFileBytes(widePath(dir.file("four")), data, 4));
    EXPECT_EQ(data, "abcd");
    EXPECT_FALSE(readFileBytes(widePath(dir.file("four")), data, 3));
    EXPECT_EQ(data, "");
    std::filesystem::create_directory(dir.file("folder"));
    EXPECT_FALSE(readFileBytes(widePath(dir.file("folder")), data, 4096));
    // A room file far larger than a line is no room file.
    std::string code = "keep";
    writeFile(dir.file("room"), "TEAM\n" + std::string(5000, 'x'));
    EXPECT_FALSE(loadRoomCode(dir.file("room"), code));
    EXPECT_EQ(code, "keep");
}

// A recording's file: made where no file of its name is, then grown by whole
// appends while it stays open.
TEST(NewFile, CreatedOnlyWhereNoneIsThenAppended) {
    TempDir dir;
    std::wstring path = widePath(dir.file("race.kvr"));
    NewFile unopened;
    EXPECT_FALSE(unopened.append("x"));
    {
        NewFile file;
        ASSERT_EQ(file.create(path), NewFile::Created::Ok);
        EXPECT_TRUE(file.append("head"));
        EXPECT_TRUE(file.append(""));
        EXPECT_TRUE(file.append(std::string(100000, 't')));
        NewFile again;
        EXPECT_EQ(again.create(path), NewFile::Created::Exists);
    }
    EXPECT_EQ(readFile(dir.file("race.kvr")), "head" + std::string(100000, 't'));
    NewFile nowhere;
    EXPECT_EQ(nowhere.create(widePath(dir.file("no/such/folder"))), NewFile::Created::Failed);
}

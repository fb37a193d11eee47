// Finding the game, reading the plugin's state and switching it on.
#include "platform/machine.h"
#include "settings_property.h"
#include "setup/discovery.h"
#include "setup/installer.h"
#include "setup/settings_editor.h"
#include "test_support.h"

#include <optional>

namespace korvane {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::TempDir;
using test::writeFile;

constexpr const char* Name = testkit::PluginName;

// A game folder in a library: b Bin64, u UserData, e the executable,
// P the Plugins folder, p the plugin itself.
void makeGame(const fs::path& library, const std::string& layout) {
    fs::path game = library / "steamapps" / "common" / "Le Mans Ultimate";
    fs::create_directories(game);
    if (layout.find('b') != std::string::npos) fs::create_directories(game / "Bin64");
    if (layout.find('u') != std::string::npos) fs::create_directories(game / "UserData");
    if (layout.find('e') != std::string::npos) writeFile(game / "Le Mans Ultimate.exe", "MZ");
    if (layout.find('P') != std::string::npos) fs::create_directories(game / "Plugins");
    if (layout.find('p') != std::string::npos) writeFile(game / "Plugins" / Name, "MZ");
}

// The way Steam writes a path value: every backslash doubled.
std::string vdfEscaped(const std::string& path) {
    std::string out;
    for (char c : path) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return out;
}

TEST(FindGameFolder, ChoosesAndReportsFromFakeSteamTrees) {
    struct Game {
        std::string library, layout;
    };
    struct Row {
        const char* what;
        std::vector<Game> games;         // "steam" is the root
        std::vector<std::string> vdf;    // library names, in file order
        std::string chosen;              // library, or "" for none
        std::vector<std::string> report; // library and its markers
    };
    const std::string noPlugins = "   [no Plugins folder]", present = "   [plugin present]",
                      notInstall = "   [no Bin64/UserData]";
    const std::vector<Row> rows = {
        {"only the second has the plugin",
         {{"steam", "bP"}, {"lib2", "ePp"}},
         {"lib2"},
         "lib2",
         {"steam", "lib2" + present}},
        {"the walk stops at a game with the plugin",
         {{"steam", "bPp"}, {"lib2", "bP"}},
         {"lib2"},
         "steam",
         {"steam" + present}},
        {"no install markers: listed, never chosen",
         {{"steam", "Pp"}},
         {},
         "",
         {"steam" + notInstall + present}},
        {"the root listed again: one game", {{"steam", "bP"}}, {"steam"}, "steam", {"steam"}},
        {"a non-install, a missing library and an empty path before a real one",
         {{"steam", ""}, {"lib2", "e"}},
         {"missing", "", "lib2"},
         "lib2",
         {"steam" + notInstall + noPlugins, "lib2" + noPlugins}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        auto library = [&](const std::string& name) { return (dir.path() / name).string(); };
        for (const Game& g : row.games) makeGame(dir.path() / g.library, g.layout);
        fs::create_directories(dir.path() / "steam" / "steamapps");
        std::string vdf = "\"libraryfolders\"\n{\n";
        for (const std::string& name : row.vdf) {
            std::string path = name.empty() ? "" : library(name);
            vdf += "\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" + vdfEscaped(path) + "\"\n\t}\n";
        }
        writeFile(dir.path() / "steam" / "steamapps" / "libraryfolders.vdf", vdf + "}\n");

        std::string root = (dir.path() / "steam").string();
        std::string chosen = findGameFolder(root);
        auto gameOf = [&](const std::string& name) {
            return inFolder(library(name), "steamapps/common/Le Mans Ultimate");
        };
        EXPECT_EQ(chosen, row.chosen.empty() ? "" : gameOf(row.chosen));
        std::vector<std::string> expected;
        for (const std::string& line : row.report) {
            size_t cut = line.find("   ");
            expected.push_back(gameOf(line.substr(0, cut)) +
                               (cut == std::string::npos ? "" : line.substr(cut)));
        }
        EXPECT_EQ(gameFolderReport, expected);
    }
}

TEST(SteamLibraries, ReadsPathValuesLineByLine) {
    TempDir dir;
    std::string file = dir.file("libraryfolders.vdf");
    writeFile(file, "\"libraryfolders\"\n{\n"
                    "\t\t\"path\"\t\t\"D:\\\\Games\\\\Steam\"\n" // doubled: made single
                    "\"path\" \"E:\\Single\\\\\\x\"\n"           // lone backslashes kept
                    "\"label\"\t\"not a path\"\n"
                    "\"path\"\t\"\"\r\n" // empty: kept
                    "\"path\"\t\"unterminated\n"
                    "\"path\"\n"
                    "\"path\" \"/home/a/lib\" \"path\" \"second on the line\"\n");
    std::vector<std::string> want = {"root", "D:\\Games\\Steam", "E:\\Single\\\\x", "",
                                     "/home/a/lib"};
    EXPECT_EQ(steamLibraries("root", file), want);
    EXPECT_TRUE(steamLibraries("", file).empty());
    EXPECT_EQ(steamLibraries("root", dir.file("missing.vdf")), std::vector<std::string>{"root"});
}

TEST(NamesGame, TheFileNameNotTheArguments) {
    struct Case {
        const wchar_t* name;
        bool game;
    } cases[] = {
        {L"Le Mans Ultimate.exe", true},
        {L"C:\\Games\\steamapps\\common\\Le Mans Ultimate\\LE MANS ULTIMATE.EXE", true},
        {L"/opt/lmu/LeMansUltimate", true},
        {L"/LeMansUltimate", true},
        {L"Z:\\Le Mans Ultimate\\Bin64/Launcher.exe", false}, // the folder is not the program
        {L"/home/a/.steam/steamapps/common/Le Mans Ultimate/x", false},
        {L"lemans ultimate", false},
        {L"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(namesGame(c.name), c.game) << c.name;
}

TEST(ReadSettingsFlags, EntryAndEnabledValue) {
    struct Row {
        const char* text;
        bool entry, enabled;
    };
    const Row rows[] = {
        // 0 and 1, with and without the space, are the staged machines' cases.
        {"{\r\n\"rFactor2SharedMemoryMapPlugin64.dll\": {\r\n\" Enabled\" :\r\n 1,\r\n}}", true,
         true},
        {"{\"rFactor2SharedMemoryMapPlugin64.dll\": {\" Enabled\": 1", true, true}, // no brace
        {"{\"rFactor2SharedMemoryMapPlugin64.dll\": {\"Other\": 1}}", true, false},
        {"{\"rFactor2SharedMemoryMapPlugin64.dll\": {\" Enabled\": x, \"Other\": 1}}", true, false},
        {"{\"rFactor2SharedMemoryMapPlugin64.dll\": {\" Enabled\": 10}}", true, false},
        {"{\"rFactor2SharedMemoryMapPlugin64.dll\": {}, \"x\": {\" Enabled\": 1}}", true, false},
        {"{\"OtherPlugin.dll\": {\" Enabled\": 1}}", false, false},
    };
    for (const Row& row : rows) {
        PluginStatus st;
        readSettingsFlags(row.text, st);
        EXPECT_EQ(st.hasSettingsEntry, row.entry) << row.text;
        EXPECT_EQ(st.enabled, row.enabled) << row.text;
    }
}

TEST(EditPluginSettings, NamedCases) {
    const std::string section = std::string("\"") + Name + "\": {\r\n    \" Enabled\": ";
    const std::string added = std::string("\n  \"") + Name +
                              "\": {\n    \" Enabled\": 1,\n    \"EnableDirectMemoryAccess\": 0,\n"
                              "    \"UnsubscribedBuffersMask\": 0\n  }";
    const std::string plugin = std::string("{\"") + Name + "\": ";
    struct Row {
        std::string in, out, error;
    };
    const std::vector<Row> rows = {
        {"{\r\n  " + section + "0\r\n  }\r\n}\r\n", "{\r\n  " + section + "1\r\n  }\r\n}\r\n", ""},
        {"{" + section + "1}}", "{" + section + "1}}", ""},
        {"\xEF\xBB\xBF{\n  \"Other.dll\": {\" Enabled\": 1}\n}\n",
         "\xEF\xBB\xBF{" + added + ",\n  \"Other.dll\": {\" Enabled\": 1}\n}\n", ""},
        {"{ \r\n }", "{" + added + " \r\n }", ""},
        {std::string("{\"") + Name + "\" 1}", "",
         "the plugin's section is malformed - fix it by hand"},
        {plugin + "{\" Enabled\": 1", "", "the plugin's section is malformed - fix it by hand"},
        {std::string("{\"") + Name + " readme\": {\" Enabled\": 0}}", "",
         "the plugin's section is malformed - fix it by hand"},
        {plugin + "{\"Other\": 0}}", "", "no Enabled key in the plugin's section - fix it by hand"},
        {plugin + "{\" Enabled\" 0}}", "", "could not read the Enabled value - fix it by hand"},
        {plugin + "{\" Enabled\": \"1\", \"X\": 0}}", "",
         "could not read the Enabled value - fix it by hand"},
        // A form feed is no white space in JSON (found by the fuzzer).
        {plugin + "{\" Enabled\":\f0}}", "", "could not read the Enabled value - fix it by hand"},
        // The next plugin's section is not this one's: its key and its digit
        // stay out of reach.
        {plugin + "{}, \"Other.dll\": {\" Enabled\": 0}}", "",
         "no Enabled key in the plugin's section - fix it by hand"},
        {plugin + "{\" Enabled\": }, \"Other.dll\": {\" Enabled\": 0}}", "",
         "could not read the Enabled value - fix it by hand"},
    };
    for (const Row& row : rows) {
        std::string content = row.in, error;
        bool ok = editPluginSettings(content, error);
        EXPECT_EQ(ok, row.error.empty()) << row.in;
        EXPECT_EQ(error, row.error) << row.in;
        EXPECT_EQ(content, ok ? row.out : row.in) << row.in;
    }
}

std::vector<fs::path> backupsIn(const fs::path& dir) {
    std::vector<fs::path> found;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string().find(".korvane-backup-") != std::string::npos)
            found.push_back(e.path());
    return found;
}

// The file holds the edit's result or is left as it was; a file that existed
// has exactly one backup of what it held; nothing else is left in the folder.
TEST(EnablePluginInSettings, BackupFirstThenTheEditAndNothingElse) {
    const std::string off = std::string("{\"") + Name + "\": {\" Enabled\": 0}}";
    const std::string on = std::string("{\"") + Name + "\": {\" Enabled\": 1}}";
    const std::string malformed = std::string("{\"") + Name + "\" 1}";
    struct Row {
        const char* what;
        std::optional<std::string> before;
        std::string after; // empty: refused, the file as it was
    } rows[] = {{"no file", std::nullopt,
                 std::string("{\n  \"") + Name + "\": {\n    \" Enabled\": 1\n  }\n}\n"},
                {"switched off", off, on},
                {"malformed section", malformed, ""}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        std::string path = dir.file("CustomPluginVariables.JSON"), error;
        if (row.before) writeFile(path, *row.before);
        EXPECT_EQ(enablePluginInSettings(path, error), !row.after.empty()) << error;
        EXPECT_EQ(readFile(path), row.after.empty() ? *row.before : row.after);
        std::vector<fs::path> backups = backupsIn(dir.path());
        ASSERT_EQ(backups.size(), row.before ? 1u : 0u);
        if (row.before) {
            EXPECT_EQ(readFile(backups[0]), *row.before);
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()),
                  1 + std::ptrdiff_t(backups.size()));
    }
}

TEST(EnablePluginInSettings, RefusesAFileItCannotReadOrReplace) {
    TempDir dir;
    // A folder in the file's place exists but cannot be read as a file.
    fs::path path = dir.path() / "CustomPluginVariables.JSON";
    fs::create_directories(path);
    std::string error;
    EXPECT_FALSE(enablePluginInSettings(path.string(), error));
    EXPECT_EQ(error, "could not read the settings file - refusing to edit");
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_TRUE(backupsIn(dir.path()).empty());
    // Nor one whose replacement cannot be made beside it: it stays as it was.
    fs::remove(path);
    writeFile(path, "{}");
    fs::create_directories(path.string() + ".korvane-new");
    EXPECT_FALSE(enablePluginInSettings(path.string(), error));
    EXPECT_EQ(error, "could not write the settings file");
    EXPECT_EQ(readFile(path), "{}");
}

TEST(EnablePluginInSettings, BackupsOfOneSecondDoNotOverwriteEachOther) {
    TempDir dir;
    std::string path = dir.file("CustomPluginVariables.JSON");
    std::string error;
    writeFile(path, "{\"a\": 1}");
    ASSERT_TRUE(enablePluginInSettings(path, error)) << error;
    std::string first = readFile(path);
    ASSERT_TRUE(enablePluginInSettings(path, error)) << error;
    ASSERT_TRUE(enablePluginInSettings(path, error)) << error;
    std::vector<std::string> contents;
    for (const fs::path& b : backupsIn(dir.path())) contents.push_back(readFile(b));
    std::sort(contents.begin(), contents.end());
    std::vector<std::string> want = {first, first, "{\"a\": 1}"};
    std::sort(want.begin(), want.end());
    EXPECT_EQ(contents, want);
}

} // namespace
} // namespace korvane

// A signed plugin manifest is taken only while its day has not begun and
// when it is no older than the last one this machine took.
TEST(PluginManifest, CurrentUntilItsDayAndNeverOlderThanTheLastTaken) {
    const int64_t march1st2027 = 1803859200, leapDay2024 = 1709164800;
    auto manifest = [](const char* version, const char* expires) {
        return std::string("{\"url\": \"https://h/p.dll\", \"sha256\": \"ab\", \"version\": \"") +
               version + "\", \"expires\": \"" + expires + "\"}";
    };
    struct Case {
        std::string manifest;
        const char* last;
        int64_t now;
        const char* reason; // "": current
    } cases[] = {
        {manifest("2.1.29", "2027-03-01"), "", march1st2027 - 1, ""},
        {manifest("2.1.29", "2027-03-01"), "", march1st2027, "manifest expired on 2027-03-01"},
        {manifest("2.1.29", "2024-02-29"), "", leapDay2024 - 1, ""},
        {manifest("2.1.29", "2024-02-29"), "", leapDay2024, "manifest expired on 2024-02-29"},
        {manifest("2.1.29", "2027-03-01"), "2.1.29", 0, ""},
        {manifest("2.1.29", "2027-03-01"), "2.2.0", 0,
         "manifest version 2.1.29 is older than 2.2.0, taken before on this machine"},
        {R"({"url": "https://h/p.dll", "expires": "2027-03-01"})", "", 0,
         "manifest names no version"},
        {R"({"url": "https://h/p.dll", "version": "2.1.29"})", "", 0, "manifest names no expiry"},
        {manifest("2.1.29", "2027-13-01"), "", 0, "manifest expiry \"2027-13-01\" is no date"},
        {manifest("2.1.29", "27-03-01"), "", 0, "manifest expiry \"27-03-01\" is no date"},
        {manifest("2.1.29", "2027-03-1x"), "", 0, "manifest expiry \"2027-03-1x\" is no date"},
    };
    for (const Case& c : cases) {
        std::string reason;
        EXPECT_EQ(korvane::pluginManifestCurrent(c.manifest, c.last, c.now, reason), !*c.reason)
            << c.manifest;
        EXPECT_EQ(reason, c.reason) << c.manifest;
    }
}

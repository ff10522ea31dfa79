// The built library end to end: tolvane-media-host loads a link to it from
// a temporary folder, next to a link to one variant of the scripted
// framework, which answers from the folder's script; the child's input and
// output are the test's pipes.
#include "records.h"
#include "wait.h"

#include <gtest/gtest.h>

#include <sys/ioctl.h>

#include <filesystem>
#include <fstream>

using namespace std::chrono_literals;
using nlohmann::json;
namespace fs = std::filesystem;

// Replaced whole, so the framework never reads half a script.
static void write_script(const fs::path& folder, const json& script)
{
    std::ofstream(folder / "script.new") << script;
    fs::rename(folder / "script.new", folder / "script");
}

static fs::path make_folder(const std::string& variant, const json& script)
{
    char pattern[] = "/tmp/bridge-process-XXXXXX";
    fs::path folder = mkdtemp(pattern);
    fs::create_symlink(MEDIA_LIBRARY, folder / "libTOLVANEMedia.so");
    if (!variant.empty())
        fs::create_symlink(fs::path(STUB_FOLDER) / variant / "libMediaRemote.so", folder / "libMediaRemote.so");
    write_script(folder, script);
    return folder;
}

// variant: "full", "without_pid", "without_seek", "without_names", "silent",
// or "" for no framework at all.
struct BridgeProcess {
    explicit BridgeProcess(const std::string& variant, const json& script = {{"pid", 42}, {"playing", true}})
        : folder(make_folder(variant, script))
        , child({MEDIA_HOST, folder / "libTOLVANEMedia.so"},
              {"STUB_SCRIPT=" + (folder / "script").string(), "STUB_LOG=" + (folder / "log").string()})
    {
    }
    ~BridgeProcess() { fs::remove_all(folder); }
    fs::path folder;
    Child child;
};

static std::vector<std::string> log_of(const BridgeProcess& bridge, bool actionsOnly = false)
{
    std::ifstream file(bridge.folder / "log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        if (!actionsOnly || line.starts_with("command") || line.starts_with("seek"))
            lines.push_back(line);
    return lines;
}

static const std::string ready = R"({"ready":true})";

TEST(BridgeProcess, WhenBindingFailsWritesOneFailureRecordAndExitsWithTwo)
{
    for (auto [variant, line] :
        {std::pair{"", R"({"error":"framework"})"}, {"without_pid", R"({"error":"symbols"})"}}) {
        SCOPED_TRACE(variant);
        BridgeProcess bridge(variant);
        EXPECT_EQ(child_read_line(bridge.child), line);
        EXPECT_EQ(child_read_line(bridge.child), std::nullopt);
        EXPECT_EQ(child_wait(bridge.child), 2);
    }
}

TEST(BridgeProcess, WritesReadyAndAtOnceARecordOfTheChosenValuesOfEveryType)
{
    json info = {{"Title", "Line\nand \"quote\"\x01"}, {"Artist", "Sigur Rós – 東京"}, {"Album", 12}, {"Duration", 215},
        {"ElapsedTime", 215.04}, {"PlaybackRate", true}, {"Timestamp", {{"date", 1700000000.25}}},
        {"ArtworkData", {{"data", {1, 2, 3}}}}, {"ArtworkIdentifier", {{"object", "<artwork 7>"}}}};
    BridgeProcess bridge("full", {{"pid", -5}, {"playing", false}, {"info", info}});
    auto first = child_read_line(bridge.child), second = child_read_line(bridge.child);
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(*first == ready || *second == ready);
    json record = json::parse(*first == ready ? *second : *first);
    EXPECT_EQ(record, json::parse(R"({"pid":-5,"playing":false,"title":"Line\nand \"quote\"\u0001",
        "artist":"Sigur Rós – 東京","album":"","duration":215,"elapsed":215.04,"rate":1,
        "timestamp":1700000000.25,"artworkID":"<artwork 7>","artwork":"AQID"})"));
    EXPECT_TRUE(record["duration"].is_number_integer());
    EXPECT_TRUE(record["rate"].is_number_integer());
    EXPECT_EQ(log_of(bridge).at(0), "register com.tolvane.media");
}

// Right after the timer's first record its next one is 4 s away, so every
// record of the next 1.5 s comes from the notifications or the command.
TEST(BridgeProcess, NotificationsCloserThan120msGiveOneRecordAndRefreshGivesTwo)
{
    for (auto [input, post, records] :
        {std::tuple{"", "stub.info 50\n", 1u}, {"", "stub.info 200\n", 2u}, {"refresh\n", "", 2u}}) {
        SCOPED_TRACE(std::string(input) + post);
        BridgeProcess bridge("full");
        ASSERT_TRUE(next_record(bridge.child, std::chrono::steady_clock::now() + 10s));
        auto start = std::chrono::steady_clock::now();
        child_write(bridge.child, input);
        child_post(bridge.child, post);
        unsigned seen = 0;
        while (next_record(bridge.child, start + 1500ms))
            seen++;
        EXPECT_EQ(seen, records);
    }
}

// Each notification gives a record with the script of its own moment, well
// before the timer's next record could stand in for it.
TEST(BridgeProcess, ObservesTheExportedNotificationNamesOrElseTheLiteralOnes)
{
    const std::vector<std::string> exported = {"stub.info", "stub.playing", "stub.application", "stub.client"},
                                   literal = {"kMRMediaRemoteNowPlayingInfoDidChangeNotification",
                                       "kMRMediaRemoteNowPlayingApplicationIsPlayingDidChangeNotification",
                                       "kMRMediaRemoteNowPlayingApplicationDidChangeNotification",
                                       "kMRMediaRemoteNowPlayingApplicationClientStateDidChange"};
    for (auto [variant, names] : {std::pair{"full", exported}, {"without_names", literal}}) {
        SCOPED_TRACE(variant);
        BridgeProcess bridge(variant);
        ASSERT_TRUE(next_record(bridge.child, std::chrono::steady_clock::now() + 10s));
        for (const auto& name : names) {
            write_script(bridge.folder, {{"info", {{"Title", name}}}});
            child_post(bridge.child, name + "\n");
            auto record = next_record(bridge.child, std::chrono::steady_clock::now() + 3s);
            ASSERT_TRUE(record) << name;
            EXPECT_EQ((*record)["title"], name);
        }
    }
}

TEST(BridgeProcess, CarriesOutEachLineAsTheCommandTableSaysThenEndsWithZero)
{
    const struct {
        const char* what;
        const char* variant;
        std::string input;
        std::vector<std::string> actions;
    } rows[] = {
        {"transport words", "full", "toggle\nplay\npause\nnext\nprevious\n",
            {"command 2", "command 0", "command 1", "command 4", "command 5"}},
        {"line ends", "full", "play\r\npause\r\r\nnext", {"command 0", "command 1", "command 4"}},
        {"spaces, case, empty", "full", "play \n play\nPlay\nPAUSE\nplay\t\n\n\rplay\nseek\nseek\t5\nSeek 5\n", {}},
        {"seek forms", "full", "seek 12.5\nseek  7\nseek abc\nseek \nseek -3\nseek 0x10\nseek 5s\r\n",
            {"seek 12.5", "seek 7", "seek 0", "seek 0", "seek -3", "seek 16", "seek 5"}},
        {"255 characters split", "full", std::string(255, 'x') + "play\n" + std::string(254, 'y') + "pause\n",
            {"command 0"}},
        {"no seek setter", "without_seek", "seek 10\ntoggle\nrefresh\n", {"command 2"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        BridgeProcess bridge(row.variant);
        child_write(bridge.child, row.input);
        child_close_input(bridge.child);
        ASSERT_EQ(child_wait(bridge.child), 0);
        EXPECT_EQ(log_of(bridge, true), row.actions);
    }
}

TEST(BridgeProcess, ArtworkOfARecordThatCouldNotBeWrittenGoesWithTheNextRecord)
{
    json artwork = {{"data", {1, 2, 3}}};
    BridgeProcess bridge("full", {{"info", {{"ArtworkData", artwork}, {"PlaybackRate", {{"double", "nan"}}}}}});
    ASSERT_TRUE(wait_until([&] { return log_of(bridge).size() >= 2; }));  // the first answer is out
    write_script(bridge.folder, {{"info", {{"ArtworkData", artwork}}}});
    child_write(bridge.child, "refresh\n");
    auto record = next_record(bridge.child, std::chrono::steady_clock::now() + 10s);
    ASSERT_TRUE(record);
    EXPECT_EQ((*record)["artwork"], "AQID");
}

// Runs end with records in flight, artwork among them, or none at all; a
// framework that never answers gives the ready record alone.
TEST(BridgeProcess, EndsWithZeroAtTheEndOfInputEveryTime)
{
    std::string burst;
    for (int i = 0; i < 100; i++)
        burst += "refresh\n";
    for (int run = 0; run < 20; run++) {
        SCOPED_TRACE(run);
        bool silent = run % 2 == 0;
        BridgeProcess bridge(
            silent ? "silent" : "full", {{"info", {{"ArtworkData", {{"data", std::vector<int>(20000, run)}}}}}});
        if (run % 4 < 2)
            child_write(bridge.child, burst);
        child_close_input(bridge.child);
        std::vector<std::string> lines;
        while (auto line = child_read_line(bridge.child))
            lines.push_back(*line);
        ASSERT_EQ(child_wait(bridge.child), 0);
        if (silent) {
            EXPECT_TRUE(lines == std::vector<std::string>{ready} || lines.empty()) << testing::PrintToString(lines);
        }
    }
}

// An owner that stopped draining the stream must not keep the process alive
// once input ends: the record stuck in the full pipe is given up.
TEST(BridgeProcess, EndsAtTheEndOfInputEvenWhenNobodyReadsTheOutput)
{
#ifdef __SANITIZE_THREAD__
    GTEST_SKIP() << "the thread sanitizer's _exit flushes standard output and so waits for the stuck record";
#endif
    BridgeProcess bridge("full", {{"info", {{"ArtworkData", {{"data", std::vector<int>(200000, 7)}}}}}});
    ASSERT_TRUE(wait_until([&] {
        int unread = 0;
        return ioctl(bridge.child.out, FIONREAD, &unread) == 0 &&
            unread > 32768;  // a record too big for the pipe is in it
    }));
    child_close_input(bridge.child);
    EXPECT_EQ(child_wait(bridge.child, 30s), 0);
}

// The built library end to end: tolvane-media-host loads a link to it from
// a temporary folder, next to a link to one variant of the scripted
// framework; the child's input and output are the test's pipes.
#include "records.h"
#include "wait.h"

#include <gtest/gtest.h>

#include <sys/ioctl.h>

#include <filesystem>
#include <fstream>

using namespace std::chrono_literals;
using nlohmann::json;
namespace fs = std::filesystem;

// Replaced whole, so the framework never reads half a title.
static void set_title(const fs::path& folder, const std::string& title)
{
    std::ofstream(folder / "title.new") << title;
    fs::rename(folder / "title.new", folder / "title");
}

static fs::path make_folder(const std::string& variant)
{
    char pattern[] = "/tmp/bridge-process-XXXXXX";
    fs::path folder = mkdtemp(pattern);
    fs::create_symlink(MEDIA_LIBRARY, folder / "libTOLVANEMedia.so");
    if (!variant.empty())
        fs::create_symlink(fs::path(STUB_FOLDER) / variant / "libMediaRemote.so", folder / "libMediaRemote.so");
    set_title(folder, "Scripted");
    return folder;
}

// variant: "full", "without_pid", "without_names", "silent", or "" for no
// framework at all.
struct BridgeProcess {
    explicit BridgeProcess(const std::string& variant, int artworkBytes = 0)
        : folder(make_folder(variant))
        , child({MEDIA_HOST, folder / "libTOLVANEMedia.so"},
              {"STUB_SCRIPT=" + (folder / "title").string(), "STUB_LOG=" + (folder / "log").string(),
                  "STUB_ARTWORK=" + std::to_string(artworkBytes)})
    {
    }
    ~BridgeProcess() { fs::remove_all(folder); }
    std::string log() const
    {
        std::ifstream file(folder / "log");
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    fs::path folder;
    Child child;
};

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

// Each notification gives a record with the title of its own moment, well
// before the timer's next record (4 s after the first) could stand in for it.
TEST(BridgeProcess, AnnouncesItselfAndObservesTheExportedNotificationNamesOrElseTheLiteralOnes)
{
    const std::vector<std::string> exported = {"stub.info", "stub.playing", "stub.application", "stub.client"},
                                   literal = {"kMRMediaRemoteNowPlayingInfoDidChangeNotification",
                                       "kMRMediaRemoteNowPlayingApplicationIsPlayingDidChangeNotification",
                                       "kMRMediaRemoteNowPlayingApplicationDidChangeNotification",
                                       "kMRMediaRemoteNowPlayingApplicationClientStateDidChange"};
    for (auto [variant, names] : {std::pair{"full", exported}, {"without_names", literal}}) {
        SCOPED_TRACE(variant);
        BridgeProcess bridge(variant);
        auto first = child_read_line(bridge.child), second = child_read_line(bridge.child);
        ASSERT_TRUE(first && second);
        EXPECT_TRUE(*first == ready || *second == ready);
        json record = json::parse(*first == ready ? *second : *first);
        EXPECT_EQ(record.value("title", ""), "Scripted");
        EXPECT_TRUE(bridge.log().starts_with("register com.tolvane.media\n"));
        for (const auto& name : names) {
            set_title(bridge.folder, name);
            child_post(bridge.child, name + "\n");
            auto changed = next_record(bridge.child, std::chrono::steady_clock::now() + 3s);
            ASSERT_TRUE(changed) << name;
            EXPECT_EQ((*changed)["title"], name);
        }
    }
}

// Lines longer than 255 bytes are read in parts; the last needs no line end.
TEST(BridgeProcess, ReadsCommandsUntilTheEndOfInputThenEndsWithZero)
{
    BridgeProcess bridge("full");
    child_write(bridge.child,
        "play\r\n" + std::string(255, 'x') + "next\n" + std::string(254, 'y') + "pause\nseek 7\nprevious");
    child_close_input(bridge.child);
    ASSERT_EQ(child_wait(bridge.child), 0);
    EXPECT_EQ(bridge.log(), "register com.tolvane.media\ncommand 0\ncommand 4\nseek 7\ncommand 5\n");
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
        BridgeProcess bridge(silent ? "silent" : "full", 20000);
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
    BridgeProcess bridge("full", 200000);
    ASSERT_TRUE(wait_until([&] {
        int unread = 0;
        return ioctl(bridge.child.out, FIONREAD, &unread) == 0 && unread > 32768;  // a record too big for the pipe
    }));
    child_close_input(bridge.child);
    EXPECT_EQ(child_wait(bridge.child, 30s), 0);
}

// tolvane-media-host loads a link to the built library beside one to a framework, or none; nothing plays (no bus).
#include "records.h"
#include "temp_dir.h"
#include "wait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

static std::string library_beside(const std::string& folder, const std::string& framework)
{
    fs::create_symlink(MEDIA_LIBRARY, folder + "/libTOLVANEMedia.so");
    if (!framework.empty())
        fs::create_symlink(framework, folder + "/libMediaRemote.so");
    return folder + "/libTOLVANEMedia.so";
}

struct BridgeProcess {
    TempDir folder;
    Child child{{"/usr/bin/env", "-u", "XDG_RUNTIME_DIR", "DBUS_SESSION_BUS_ADDRESS=unix:path=" + folder.file("no-bus"),
        MEDIA_HOST, library_beside(folder.path, STAND_IN)}};
};

static const std::string ready = R"({"ready":true})";

// The host's failures on standard error, the bridge's as its one record, and the library where an install puts it.
TEST(BridgeProcess, SaysWhatStopsItAndFindsTheLibraryOfAnInstall)
{
    TempDir folder;
    auto output = [](std::vector<std::string> argv) {
        argv.insert(argv.begin(),
            {"/usr/bin/env", "-u", "XDG_RUNTIME_DIR", "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent", "/bin/sh",
                "-c", "\"$0\" \"$@\" 2>&1 <&-"});
        Child child(argv);
        return child_finish(child);
    };
    fs::create_directories(folder.file("bin/" LIBDIR_FROM_BINDIR)), fs::create_directory(folder.file("none"));
    const std::string host = "tolvane-media-host: ", none = folder.file("none.so"), deep(250, 'd');
    const std::pair<std::vector<std::string>, std::pair<std::string, int>> rows[] = {
        {{MEDIA_HOST, "a", "b"}, {"usage: tolvane-media-host [library]\n", 64}},
        {{MEDIA_HOST, none}, {host + none + ": cannot open shared object file: No such file or directory\n", 1}},
        {{MEDIA_HOST, STAND_IN}, {host + STAND_IN + ": undefined symbol: tolvane_media_run\n", 1}},
        {{MEDIA_HOST, RUN_RETURNS}, {"", 0}},
        {{MEDIA_HOST, library_beside(folder.file("none"), "")}, {"{\"error\":\"framework\"}\n", 2}},
        {{MEDIA_HOST, library_beside(folder.path, NOT_A_FRAMEWORK)}, {"{\"error\":\"symbols\"}\n", 2}},
        {{"/bin/sh", "-c",
             "cd \"$1\" && for i in $(seq 17); do mkdir " + deep + " && cd -P " + deep +
                 "; done && cp \"$0\" h && ./h; s=$?; cd \"$1\" && rm -r " + deep + "; exit $s",
             MEDIA_HOST, folder.path},
            {host + "cannot find own executable\n", 1}}};  // a path longer than the kernel tells
    for (const auto& [argv, shown] : rows) {
        auto [text, status] = output(argv);
        if (text.starts_with("=="))  // a sanitizer's runtime has its own word on the path too long to read
            text.erase(0, text.find('\n') + 1);
        EXPECT_EQ(std::pair(text, status), shown);
    }
    fs::copy_file(MEDIA_HOST, folder.file("bin/tolvane-media-host"));
    library_beside(folder.file("bin/" LIBDIR_FROM_BINDIR), STAND_IN);
    // Input is closed, so the records before the end vary; none is a complaint.
    auto [text, status] = output({folder.file("bin/tolvane-media-host")});
    EXPECT_EQ(std::pair(text.find(host), status), std::pair(std::string::npos, 0)) << text;
}

// Each line a whole record, the ready record at most once; with input open, once among the first two, as run 0 shows.
// An owner that stopped draining the stream does not keep it alive either: the stuck record is dropped at 2 s.
TEST(BridgeProcess, SaysOnceThatItIsReadyAndEndsWithZeroAtTheEndOfInputEveryTimeEvenWhenNobodyReadsTheOutput)
{
    const auto start = std::chrono::steady_clock::now();
    for (int run = 0; run < 20; run++) {
        SCOPED_TRACE(run);
        BridgeProcess bridge;
        std::vector<std::string> lines;
        for (int i = 0; run == 0 && i < 2; i++)
            lines.push_back(child_read_line(bridge.child).value_or(""));
        EXPECT_EQ(std::count(lines.begin(), lines.end(), ready), run == 0) << testing::PrintToString(lines);
        child_write(bridge.child, repeated("refresh\n", run % 2 ? 0 : 100)), child_close_input(bridge.child);
        while (auto line = child_read_line(bridge.child))
            lines.push_back(*line);
        ASSERT_EQ(child_wait(bridge.child), 0);
        EXPECT_LE(std::count(lines.begin(), lines.end(), ready), 1);
        for (const auto& line : lines)
            EXPECT_TRUE(nlohmann::json::accept(line)) << line;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);  // at once: no run waits out the two seconds at the end
#ifndef __SANITIZE_THREAD__  // whose _exit flushes standard output and so waits for the stuck record
    BridgeProcess bridge;
    child_write(bridge.child, repeated("refresh\n", 2000));
    ASSERT_TRUE(wait_until([&] { return unread(bridge.child.out) > 60000; }));  // the pipe is full
    ASSERT_TRUE(wait_until([&] { return unread(bridge.child.in) == 0; }));      // the reader gave up the queue
    const auto closed = (child_close_input(bridge.child), std::chrono::steady_clock::now());
    EXPECT_EQ(child_wait(bridge.child, 30s), 0);
    EXPECT_NEAR(std::chrono::duration<double>(std::chrono::steady_clock::now() - closed).count(), 2.2, 0.7);
#endif
}

// The bridge under load: tolvane-media-host with its scripted framework,
// first 10,000 garbage lines on its standard input (random bytes, over-long
// lines, near misses of the commands), then a storm of 10,000 change
// notifications while the framework's answer switches between two players
// with their own 48 KiB artwork. Reports the records of each phase (every
// line must be one JSON record), the commands the garbage got through to the
// framework (none may), whether the storm's last record shows the last
// player, and the host's descriptors and memory before and after; then
// "play" must still reach the framework and the end of input end the host
// with status 0.
#include "child.h"
#include "process_stats.h"
#include "records.h"
#include "wait.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

using namespace std::chrono_literals;
using nlohmann::json;
namespace fs = std::filesystem;

static const int kLines = 10000, kNotifications = 10000;

// Replaced whole, so the framework never reads half a script.
static void write_script(const fs::path& folder, int player)
{
    std::vector<int> artwork(48 << 10, player);
    json script = {{"pid", 100 + player}, {"playing", true},
        {"info",
            {{"Title", "Player " + std::to_string(player)}, {"ArtworkData", {{"data", artwork}}},
                {"ArtworkIdentifier", "cover-" + std::to_string(player)}}}};
    std::ofstream(folder / "script.new") << script;
    fs::rename(folder / "script.new", folder / "script");
}

// No line may be a command once its line end is trimmed, nor start "seek ".
static std::string garbage_lines()
{
    static const char* const nearMisses[] = {"PLAY", "play now", " next", "pause\x01", "seek", "seek\t5", "refresh!",
        "toggle toggle", "", "\r", "previous\x01x"};
    std::mt19937 random(8);
    std::string text;
    for (int i = 0; i < kLines; i++) {
        if (i % 3 == 0) {
            text += nearMisses[i / 3 % std::size(nearMisses)];
        } else {
            std::size_t length = i % 50 == 1 ? 600 + random() % 400 : random() % 80;  // some split at 255 bytes
            for (std::size_t k = 0; k < length; k++)
                text += static_cast<char>('!' + random() % 90);  // printable, never a line end
        }
        text += '\n';
    }
    return text;
}

static int commands_reached(const fs::path& folder)
{
    std::ifstream log(folder / "log");
    int count = 0;
    for (std::string line; std::getline(log, line);)
        count += line.starts_with("command") || line.starts_with("seek");
    return count;
}

// Records until the stream has been quiet for longer than the debounce (and
// shorter than the 4 s timer), while `feed` writes to the host.
template <class Feed> static std::vector<json> records_during(Child& host, Feed feed)
{
    std::thread writer(feed);
    std::vector<json> records;
    writer.join();
    while (auto record = next_record(host, std::chrono::steady_clock::now() + 1s))
        records.push_back(*record);
    return records;
}

// The library and the scripted framework side by side, as the bridge looks
// for its framework, with the script; removed at the end.
struct Folder {
    fs::path path;
    Folder()
    {
        char pattern[] = "/tmp/bridge-load-XXXXXX";
        path = mkdtemp(pattern);
        fs::create_symlink(MEDIA_LIBRARY, path / "libTOLVANEMedia.so");
        fs::create_symlink(STUB_LIBRARY, path / "libMediaRemote.so");
        write_script(path, 1);
        mkfifo((path / "posts").c_str(), 0600);
    }
    ~Folder() { fs::remove_all(path); }
};

// One round of garbage, then one storm; false when the storm's last record
// does not show the last player.
static bool load_round(Child& host, std::ofstream& posts, const fs::path& folder, const std::string& garbage)
{
    auto lines = records_during(host, [&] { child_write(host, garbage); });
    std::printf("garbage: %d lines (%zu bytes), %zu records, %d commands reached the framework\n", kLines,
        garbage.size(), lines.size(), commands_reached(folder));
    auto storm = records_during(host, [&] {
        static const char* const names[] = {"stub.info\n", "stub.playing\n", "stub.application\n", "stub.client\n"};
        for (int i = 0; i < kNotifications; i++) {
            if (i % 1000 == 0)
                write_script(folder, 2 + i / 1000 % 2);
            posts << names[i % 4] << std::flush;
        }
    });
    bool lastShown = !storm.empty() && storm.back()["pid"] == 103 && storm.back()["title"] == "Player 3";
    std::printf("storm: %d notifications, %zu records, the last shows the last player: %s\n", kNotifications,
        storm.size(), lastShown ? "yes" : "no");
    return lastShown;
}

// bridge_load [rounds, default 3]
int main(int argc, char** argv)
{
    int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
    Folder scratch;
    const fs::path& folder = scratch.path;
    Child host({"/usr/bin/env", "STUB_SCRIPT=" + (folder / "script").string(), "STUB_LOG=" + (folder / "log").string(),
        "STUB_POSTS=" + (folder / "posts").string(), MEDIA_HOST, folder / "libTOLVANEMedia.so"});
    if (!next_record(host, std::chrono::steady_clock::now() + 20s))
        return 1;
    std::ofstream posts(folder / "posts");  // the framework reads it since it registered
    std::string garbage = garbage_lines();
    bool shown = true;
    for (int round = 0; round < rounds; round++) {
        ProcessStats before = process_stats(host.pid);
        shown &= load_round(host, posts, folder, garbage);
        ProcessStats after = process_stats(host.pid);
        std::printf("host: fds %d -> %d, VmRSS %ld -> %ld KiB\n", before.fds, after.fds, before.rssKiB, after.rssKiB);
    }
    child_write(host, "play\n");
    bool played = wait_until([&] { return commands_reached(folder) == 1; }, 10s);
    child_close_input(host);
    auto status = child_wait(host, 20s);
    std::printf("afterwards: play reached the framework: %s; end of input: status %d\n", played ? "yes" : "no",
        status ? *status : -1);
    return played && status == 0 && shown ? 0 : 1;
}

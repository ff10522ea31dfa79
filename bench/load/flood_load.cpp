// A flood of `play` lines on the bridge's standard input, with a scripted
// MPRIS player on a private bus, its output read or never read. Reports the
// host's peak and final memory, how many commands reached the player (all
// must, in order), the records during the flood and the longest gap between
// them, and then that the end of input still ends the host with status 0.
#include "process_stats.h"
#include "rig.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

// The records from the first line until every command is in, the last of
// them and the longest time without one.
struct Flood {
    std::mutex lock;
    bool on = true;
    int records = 0;
    Clock::time_point last = Clock::now();
    Clock::duration longestGap{};

    void note(Clock::time_point now)
    {
        std::lock_guard guard(lock);
        if (!on)
            return;
        longestGap = std::max(longestGap, now - last);
        last = now;
    }
};

// Reads on after the flood too, so that the stream never holds up the host.
static void read_records(HostProcess& host, Flood& flood)
{
    while (next_record(host, Clock::now() + 30s)) {
        flood.note(Clock::now());
        std::lock_guard guard(flood.lock);
        flood.records += flood.on;
    }
}

static std::size_t calls_of(FakePlayer& player)
{
    return player.locked([&] { return player.calls_.size(); });
}

// Waits until every line reached the player or none has for 10 s.
static std::size_t settle(FakePlayer& player, std::size_t lines)
{
    std::size_t seen = calls_of(player), before;
    do {
        before = seen;
        wait_until([&] { return (seen = calls_of(player)) >= lines; }, 10s);
    } while (seen < lines && seen > before);
    return seen;
}

// flood_load [lines, default 100000] [unread]
int main(int argc, char** argv)
{
    const std::size_t lines = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
    const bool read = !(argc > 2 && std::strcmp(argv[2], "unread") == 0);
    BusDaemon bus;
    FakePlayer player("flooded");
    player.set("Playing", track("Flood"));
    HostProcess host;
    if (!host.record_where({{"title", "Flood"}}))
        return 1;
    Flood flood;
    std::thread reader;
    if (read)
        reader = std::thread(read_records, std::ref(host), std::ref(flood));
    std::string chunk;
    for (int i = 0; i < 4096; i++)
        chunk += "play\n";
    ProcessStats before = process_stats(host.pid);
    auto start = Clock::now();
    for (std::size_t sent = 0; sent < lines; sent += 4096)
        child_write(host, lines - sent >= 4096 ? chunk : chunk.substr(0, 5 * (lines - sent)));
    double writing = std::chrono::duration<double>(Clock::now() - start).count();
    std::size_t reached = settle(player, lines);
    flood.note(Clock::now());
    flood.lock.lock();
    flood.on = false;
    flood.lock.unlock();
    double done = std::chrono::duration<double>(Clock::now() - start).count();
    ProcessStats after = process_stats(host.pid);
    auto calls = player.calls();
    bool inOrder = std::all_of(calls.begin(), calls.end(), [](const std::string& c) { return c == "Play"; });
    std::printf("%zu lines, output %s: written in %.1f s, %zu reached the player (%s) after %.1f s\n", lines,
        read ? "read" : "never read", writing, reached, inOrder ? "all Play" : "other calls too", done);
    if (read)
        std::printf("records during the flood: %d, longest time without one %.1f s\n", flood.records,
            std::chrono::duration<double>(flood.longestGap).count());
    std::printf("host: VmRSS %ld -> %ld KiB, peak %ld KiB\n", before.rssKiB, after.rssKiB, after.peakKiB);
    auto end = Clock::now();
    child_close_input(host);
    auto status = child_wait(host, 60s);
    std::printf("end of input: status %d after %.1f s\n", status ? *status : -1,
        std::chrono::duration<double>(Clock::now() - end).count());
    if (reader.joinable())
        reader.join();
    return reached == lines && inOrder && status == 0 ? 0 : 1;
}

// A file is read on a thread of its own: a cover on a mount that stopped
// answering must hold up no record and no command. Such a read costs one
// thread, which is never waited for: it is detached and the process may end
// while it blocks. One read per URL at a time, and only a few at all; one
// out for longer than readTime is taken for hung and leaves its place to
// others, and hung or not, no more than threadsAtMost are out.
#include "artwork_cache.h"

#include "bus.h"
#include "names.h"
#include "notify.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <system_error>
#include <thread>

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

static constexpr std::size_t readsAtMost = 4;
static constexpr std::size_t threadsAtMost = 16;
static constexpr auto readTime = 1s;  // a local cover takes milliseconds

struct Read {
    Clock::time_point since;
    bool again;  // named anew while out: the file may have been rewritten since it was opened
};

static std::string& asked = *new std::string;  // by the latest record or naming
static std::string& keptUrl = *new std::string;
static ArtworkBytes& kept = *new ArtworkBytes;
static std::map<std::string, Read>& reading = *new std::map<std::string, Read>;

static void read_aside(const std::string& url);

static void keep(const std::string& url, ArtworkBytes bytes)
{
    keptUrl = url;
    kept = std::move(bytes);
}

// Back on the bus thread. Artwork that is no longer asked for is dropped.
static void arrived(const std::string& url, ArtworkBytes bytes)
{
    if (reading.extract(url).mapped().again)
        return read_aside(url);
    if (url != asked)
        return;
    keep(url, bytes);
    if (bytes)
        notify_post(kMRMediaRemoteNowPlayingInfoDidChangeNotification);
}

static bool room()
{
    auto now = Clock::now();
    auto recent =
        std::ranges::count_if(reading, [now](const auto& read) { return now - read.second.since < readTime; });
    return static_cast<std::size_t>(recent) < readsAtMost && reading.size() < threadsAtMost;
}

static void read_aside(const std::string& url)
{
    if (!room() || !reading.try_emplace(url, Read{Clock::now(), false}).second)
        return;
    try {
        std::thread([url] {
            ArtworkBytes bytes = artwork_load(url);
            bus_run([url, bytes] { arrived(url, bytes); });
        }).detach();
    } catch (const std::system_error&) {
        reading.erase(url);  // no thread to spare: asked again with the next record
    }
}

// Inline data needs no file: it is decoded at once.
ArtworkBytes artwork_cached(const std::string& url)
{
    asked = url;
    if (url != keptUrl && !url.starts_with("file:"))
        keep(url, artwork_load(url));
    if (url == keptUrl)
        return kept;
    read_aside(url);
    return nullptr;
}

// Players that keep one cover file rewrite it for every track: whatever was
// read before under this name may be stale.
void artwork_named(const std::string& url)
{
    asked = url;
    keep("", nullptr);
    auto read = reading.find(url);
    if (read != reading.end())
        read->second.again = true;
    else if (url.starts_with("file:"))
        read_aside(url);
}

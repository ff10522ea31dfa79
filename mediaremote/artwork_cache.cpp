// A file is read on a thread of its own: a cover on a mount that stopped
// answering must hold up no record and no command. Such a read costs one
// thread, which is never waited for: it is detached and the process may end
// while it blocks. One read per URL at a time, and only a few at all.
#include "artwork_cache.h"

#include "bus.h"
#include "names.h"
#include "notify.h"

#include <set>
#include <system_error>
#include <thread>

static constexpr std::size_t readsAtMost = 4;

static std::string& asked = *new std::string;  // by the latest record
static std::string& keptUrl = *new std::string;
static ArtworkBytes& kept = *new ArtworkBytes;
static std::set<std::string>& reading = *new std::set<std::string>;

static void keep(const std::string& url, ArtworkBytes bytes)
{
    keptUrl = url;
    kept = std::move(bytes);
}

// Back on the bus thread. Artwork that is no longer asked for is dropped.
static void arrived(const std::string& url, ArtworkBytes bytes)
{
    reading.erase(url);
    if (url != asked)
        return;
    keep(url, bytes);
    if (bytes)
        notify_post(kMRMediaRemoteNowPlayingInfoDidChangeNotification);
}

static void read_aside(const std::string& url)
{
    if (reading.size() >= readsAtMost || !reading.insert(url).second)
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

void artwork_named(const std::string& url)
{
    asked = url;
    if (url != keptUrl && url.starts_with("file:"))
        read_aside(url);
}

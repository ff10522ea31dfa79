#include "snapshot.h"

#include "artwork.h"
#include "base64.h"
#include "framework.h"

#include <chrono>
#include <optional>
#include <string>

using namespace std::chrono_literals;

// Never destroyed: the queue may still run while the reader thread exits.
static platform::BlockRef& pending = *new platform::BlockRef;
static std::optional<std::string>& sentArtwork = *new std::optional<std::string>;

void schedule()
{
    if (pending)
        platform::block_cancel(pending);
    pending = platform::block_create(refresh);
    platform::queue_after(queue, 120ms, pending);
}

// The temporary objects of one snapshot go with it: its own pool.
static void on_info(std::int32_t pid, bool playing, const MRInfo& info)
{
    void* pool = platform::autorelease_pool_push();
    Record record = now_playing_record(pid, playing, info);
    // Artwork in a record that was dropped never reached the reader: send it
    // again with the next record rather than only its identity.
    if (!emit(record) && record.contains("artwork"))
        sentArtwork.reset();
    platform::autorelease_pool_pop(pool);
}

static void on_playing(std::int32_t pid, bool playing)
{
    getInfo(queue, [pid, playing](MRInfo info) { on_info(pid, playing, info); });
}

static void on_pid(std::int32_t pid)
{
    getPlaying(queue, [pid](bool playing) { on_playing(pid, playing); });
}

void refresh()
{
    getPID(queue, on_pid);
}

static const MRValue* lookup(const MRInfo& info, const char* key)
{
    if (!info)
        return nullptr;
    auto found = info->find(key);
    return found == info->end() ? nullptr : &found->second;
}

static std::string text_at(const MRInfo& info, const char* key)
{
    const MRValue* value = lookup(info, key);
    const std::string* text = value ? std::get_if<std::string>(value) : nullptr;
    return text ? *text : std::string();
}

// The source's number as it is: an integer stays an integer, a fraction a
// fraction; a boolean counts as the number it stands for.
static Record number_at(const MRInfo& info, const char* key)
{
    const MRValue* value = lookup(info, key);
    if (!value)
        return 0;
    if (auto integer = std::get_if<std::int64_t>(value))
        return *integer;
    if (auto fraction = std::get_if<double>(value))
        return *fraction;
    if (auto flag = std::get_if<bool>(value))
        return *flag ? 1 : 0;
    return 0;
}

static double timestamp_at(const MRInfo& info)
{
    const MRValue* value = lookup(info, kMRMediaRemoteNowPlayingInfoTimestamp);
    if (auto date = value ? std::get_if<MRDate>(value) : nullptr)
        return date->sinceEpoch;
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

static void add_artwork(Record& record, const MRInfo& info)
{
    const MRValue* value = lookup(info, kMRMediaRemoteNowPlayingInfoArtworkData);
    const MRData* artwork = value ? std::get_if<MRData>(value) : nullptr;
    if (!artwork || !artwork->bytes || artwork->bytes->empty()) {
        sentArtwork.reset();
        return;
    }
    std::string identity = artwork_identity(*info, *artwork);
    record["artworkID"] = identity;
    if (sentArtwork == identity)
        return;
    record["artwork"] = base64_encode(artwork->bytes->data(), artwork->bytes->size());
    sentArtwork = std::move(identity);
}

Record now_playing_record(std::int32_t pid, bool playing, const MRInfo& info)
{
    Record record;
    record["pid"] = pid;
    record["playing"] = playing;
    record["title"] = text_at(info, kMRMediaRemoteNowPlayingInfoTitle);
    record["artist"] = text_at(info, kMRMediaRemoteNowPlayingInfoArtist);
    record["album"] = text_at(info, kMRMediaRemoteNowPlayingInfoAlbum);
    record["duration"] = number_at(info, kMRMediaRemoteNowPlayingInfoDuration);
    record["elapsed"] = number_at(info, kMRMediaRemoteNowPlayingInfoElapsedTime);
    record["rate"] = number_at(info, kMRMediaRemoteNowPlayingInfoPlaybackRate);
    record["timestamp"] = timestamp_at(info);
    add_artwork(record, info);
    return record;
}

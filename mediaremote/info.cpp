// The pid and the playing state come from the players as the signals tell
// them; only the information, whose position moves unannounced, is read.
#include "info.h"

#include "artwork_cache.h"
#include "calls.h"
#include "metadata.h"
#include "players.h"
#include "shown.h"

#include <chrono>

std::int32_t info_pid()
{
    const Player* p = players_current();
    return p ? p->pid : 0;
}

bool info_playing()
{
    const Player* p = players_current();
    return p && p->playing;
}

static double now_since_epoch()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Stamped with the time of reading, which is when the position held.
void info_gather(MRInfoCallback answer)
{
    const Player* p = players_current();
    if (!p) {
        answer(nullptr);
        return;
    }
    call_player_properties(p->owner, [answer](const sdbus::Error* error, PropertyMap properties) {
        if (error)
            answer(nullptr);
        else
            answer(
                std::make_shared<const MRInfoDictionary>(metadata_info(properties, now_since_epoch(), artwork_cached)));
    });
}

// Learnt from the signal, before the bridge asks: the cover of what the
// now-playing player now plays is read meanwhile.
void info_metadata_changed(const std::string& owner, const PropertyMap& changed)
{
    if (shown_is(owner))
        artwork_named(metadata_art_url(changed));
}

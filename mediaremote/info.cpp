#include "info.h"

#include "bus.h"
#include "calls.h"
#include "metadata.h"
#include "players.h"

#include <chrono>

std::int32_t info_pid()
{
    const Player* p = players_current();
    return p ? p->pid : 0;
}

bool info_playing()
{
    const Player* p = players_current();
    if (!p || !bus_connection())
        return false;
    try {
        sdbus::Variant status = call_player_property(*bus_connection(), p->name, "PlaybackStatus");
        return status.containsValueOfType<std::string>() && status.get<std::string>() == "Playing";
    } catch (const sdbus::Error&) {
        return false;
    }
}

static double now_since_epoch()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Position is read here, with the rest, and stamped with the time of reading.
MRInfo info_gather()
{
    const Player* p = players_current();
    if (!p || !bus_connection())
        return nullptr;
    try {
        PropertyMap properties = call_player_properties(*bus_connection(), p->name);
        return std::make_shared<const MRInfoDictionary>(metadata_info(properties, now_since_epoch()));
    } catch (const sdbus::Error&) {
        return nullptr;
    }
}

#include "commands.h"

#include "bus.h"
#include "calls.h"
#include "players.h"

#include <algorithm>

static constexpr const char* noTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

static const char* method_for(std::uint32_t command)
{
    switch (command) {
    case 0: return "Play";
    case 1: return "Pause";
    case 2: return "PlayPause";
    case 4: return "Next";
    case 5: return "Previous";
    default: return nullptr;
    }
}

bool command_known(std::uint32_t command)
{
    return method_for(command) != nullptr;
}

void command_send(std::uint32_t command)
{
    const Player* p = players_current();
    if (!p || !bus_connection() || !method_for(command))
        return;
    try {
        player_proxy(*bus_connection(), p->name)
            ->callMethod(method_for(command))
            .onInterface(playerInterface)
            .withTimeout(callTimeout);
    } catch (const sdbus::Error&) {
    }
}

// Clamped: a finite but huge position must not overflow the conversion.
static std::int64_t to_microseconds(double seconds)
{
    return static_cast<std::int64_t>(std::clamp(seconds * 1e6, -9.2e18, 9.2e18));
}

static std::string track_id(sdbus::IConnection& bus, const std::string& player)
{
    sdbus::Variant meta = call_player_property(bus, player, "Metadata");
    if (!meta.containsValueOfType<PropertyMap>())
        return {};
    auto m = meta.get<PropertyMap>();
    auto it = m.find("mpris:trackid");
    if (it == m.end())
        return {};
    if (it->second.containsValueOfType<sdbus::ObjectPath>())
        return it->second.get<sdbus::ObjectPath>();
    if (it->second.containsValueOfType<std::string>())
        return it->second.get<std::string>();
    return {};
}

static void seek_by_difference(sdbus::IConnection& bus, const std::string& player, std::int64_t target)
{
    sdbus::Variant position = call_player_property(bus, player, "Position");
    if (!position.containsValueOfType<std::int64_t>())
        return;
    std::int64_t offset = target - position.get<std::int64_t>();
    player_proxy(bus, player)->callMethod("Seek").onInterface(playerInterface).withTimeout(callTimeout).withArguments(offset);
}

// SetPosition needs the current track's id; a player without one can only seek.
void command_set_position(double seconds)
{
    const Player* p = players_current();
    sdbus::IConnection* bus = bus_connection();
    if (!p || !bus)
        return;
    std::int64_t target = to_microseconds(seconds);
    try {
        std::string track = track_id(*bus, p->name);
        if (track.empty() || track == noTrack) {
            seek_by_difference(*bus, p->name, target);
            return;
        }
        player_proxy(*bus, p->name)
            ->callMethod("SetPosition")
            .onInterface(playerInterface)
            .withTimeout(callTimeout)
            .withArguments(sdbus::ObjectPath(track), target);
    } catch (const sdbus::Error&) {
    }
}

// Commands reach the player in the order read, without waiting for its
// answers. A seek may have to read from the player first; the commands after
// it wait for that read, which is bounded by the call time-out.
#include "commands.h"

#include "bus.h"
#include "calls.h"
#include "known.h"
#include "players.h"

#include <algorithm>
#include <deque>
#include <functional>

static constexpr const char* noTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

static std::deque<std::function<void()>>& backlog = *new std::deque<std::function<void()>>;
static bool seeking;  // a seek is reading from the player
// Calls out at once: enough to keep a player busy, far fewer than a bus lets
// wait for their replies (the rest it refuses, and those commands were lost).
static constexpr int inFlightLimit = 32;
static int inFlight;

static void run_backlog()
{
    while (!seeking && inFlight < inFlightLimit && !backlog.empty()) {
        auto step = std::move(backlog.front());
        backlog.pop_front();
        step();
    }
}

static void enqueue(std::function<void()> step)
{
    backlog.push_back(std::move(step));
    known_then(run_backlog);
}

// The answer of a command's call, taken when it is made.
static Reply<> over()
{
    ++inFlight;
    return [](const sdbus::Error*) {
        --inFlight;
        bus_command_done();
        run_backlog();
    };
}

static void seek_done()
{
    seeking = false;
    run_backlog();
}

bool commands_pending()
{
    return seeking || !backlog.empty();
}

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
    enqueue([command] {
        const Player* p = players_current();
        if (p && method_for(command))
            call_player_method(p->owner, method_for(command), over());
        else
            bus_command_done();
    });
}

// Clamped: a finite but huge position must not overflow the conversion.
static std::int64_t to_microseconds(double seconds)
{
    return static_cast<std::int64_t>(std::clamp(seconds * 1e6, -9.2e18, 9.2e18));
}

static std::string track_id(const sdbus::Variant& meta)
{
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

static void seek_by_difference(const std::string& player, std::int64_t target)
{
    call_player_property(player, "Position", [player, target](const sdbus::Error* error, sdbus::Variant position) {
        if (!error && position.containsValueOfType<std::int64_t>())
            call_player_seek(player, target - position.get<std::int64_t>(), over());
        else
            bus_command_done();
        seek_done();
    });
}

// SetPosition needs the current track's id; a player without one can only seek.
static void set_position(std::int64_t target)
{
    const Player* p = players_current();
    if (!p)
        return bus_command_done();
    seeking = true;
    std::string player = p->owner;
    call_player_property(player, "Metadata", [player, target](const sdbus::Error* error, sdbus::Variant meta) {
        if (error)
            return bus_command_done(), seek_done();
        std::string track = track_id(meta);
        if (track.empty() || track == noTrack)
            return seek_by_difference(player, target);
        call_player_set_position(player, sdbus::ObjectPath(track), target, over());
        seek_done();
    });
}

void command_set_position(double seconds)
{
    std::int64_t target = to_microseconds(seconds);
    enqueue([target] { set_position(target); });
}

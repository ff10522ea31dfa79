// Only signals from the connection that owns a tracked player count: anyone
// on the bus can send the rest. Players are asked only asynchronously.
#include "watch.h"

#include "calls.h"
#include "info.h"
#include "known.h"
#include "names.h"
#include "notify.h"
#include "players.h"
#include "shown.h"

#include <set>

using namespace std::chrono_literals;

static constexpr const char* mprisPrefix = "org.mpris.MediaPlayer2.";
static constexpr const char* daemonName = "org.freedesktop.DBus";

static constexpr const char* nameOwnerRule =
    "type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',"
    "member='NameOwnerChanged',arg0namespace='org.mpris.MediaPlayer2'";
static constexpr const char* propertiesRule =
    "type='signal',interface='org.freedesktop.DBus.Properties',member='PropertiesChanged',"
    "path='/org/mpris/MediaPlayer2',arg0='org.mpris.MediaPlayer2.Player'";
static constexpr const char* seekedRule =
    "type='signal',interface='org.mpris.MediaPlayer2.Player',member='Seeked',path='/org/mpris/MediaPlayer2'";

// A player that is slow to answer at attach is asked again without holding
// up the questions and commands that wait for discovery.
static constexpr std::chrono::milliseconds firstReadTimeout = 400ms;

static std::set<std::string>& reading = *new std::set<std::string>;  // owners whose status is being read

static bool is_playing(const sdbus::Variant& status)
{
    return status.containsValueOfType<std::string>() && status.get<std::string>() == "Playing";
}

// One read at a time per player: its answer comes after any signal it sent
// before answering, so it is never older than what the signals told.
static void read_status(const std::string& owner, bool atAttach)
{
    if (!reading.insert(owner).second)
        return;
    if (atAttach)
        known_ask();
    auto reply = [owner, atAttach](const sdbus::Error* error, sdbus::Variant status) {
        reading.erase(owner);
        Shown before = shown_now();
        if (!error)
            players_set_playing(owner, is_playing(status));
        else if (atAttach)
            read_status(owner, false);
        shown_post_changes(before);
        if (atAttach)
            known_answer();
    };
    call_player_property(owner, "PlaybackStatus", reply, atAttach ? firstReadTimeout : callTimeout);
}

static void read_pid(const std::string& owner, bool atAttach)
{
    if (atAttach)
        known_ask();
    call_pid(owner, [owner, atAttach](const sdbus::Error* error, std::uint32_t pid) {
        if (!error) {
            players_set_pid(owner, static_cast<std::int32_t>(pid));
            if (shown_is(owner))
                notify_post(kMRMediaRemoteNowPlayingApplicationDidChangeNotification);
        }
        if (atAttach)
            known_answer();
    });
}

// A player is followed as soon as it is on the bus, before it answers.
static void add_player(const std::string& name, const std::string& owner, bool atAttach)
{
    Shown before = shown_now();
    players_add(name, owner);
    shown_post_changes(before);
    read_pid(owner, atAttach);
    read_status(owner, atAttach);
}

// A peer can send this signal straight to us, and then neither the bus nor
// the D-Bus library holds it to the match rule's sender.
static void on_name_owner_changed(sdbus::Message& msg)
{
    if (msg.getSender() != daemonName)
        return;
    std::string name, oldOwner, newOwner;
    msg >> name >> oldOwner >> newOwner;
    if (!name.starts_with(mprisPrefix))
        return;
    Shown before = shown_now();
    if (!oldOwner.empty())
        players_remove(name);
    shown_post_changes(before);
    if (!newOwner.empty())
        add_player(name, newOwner, false);
}

static void on_properties_changed(sdbus::Message& msg, const std::string& owner)
{
    std::string interface;
    PropertyMap changed;
    std::vector<std::string> invalidated;
    msg >> interface >> changed >> invalidated;
    bool info = false, status = false, metadata = false;
    auto note = [&](const std::string& p) {
        metadata |= p == "Metadata";
        info |= metadata || p == "Position" || p == "Rate";
        status |= p == "PlaybackStatus";
    };
    for (auto& [p, value] : changed)
        note(p);
    for (auto& p : invalidated)
        note(p);
    auto it = changed.find("PlaybackStatus");
    if (it != changed.end())
        players_set_playing(owner, is_playing(it->second));
    else if (status)
        read_status(owner, false);
    if (metadata)
        info_metadata_changed(owner, changed);
    if (info)
        shown_post_info(owner);
}

static void on_seeked(sdbus::Message&, const std::string& owner)
{
    shown_post_info(owner);
}

// A malformed signal is dropped rather than taking the bus thread down.
static sdbus::message_handler guarded(void (*handler)(sdbus::Message&))
{
    return [handler](sdbus::Message& msg) {
        try {
            handler(msg);
        } catch (const sdbus::Error&) {
        }
    };
}

static sdbus::message_handler from_players(void (*handler)(sdbus::Message&, const std::string& owner))
{
    return [handler](sdbus::Message& msg) {
        std::string owner = msg.getSender();
        if (!players_tracks(owner))
            return;
        Shown before = shown_now();
        players_touch(owner);
        try {
            handler(msg, owner);
        } catch (const sdbus::Error&) {
        }
        shown_post_changes(before);
    };
}

// The rules go in before the names are listed, so no player slips between;
// the signals that come meanwhile wait until the owners are known. Attaching
// counts as one question of the discovery, so that it ends even with no player.
void watch_attach(sdbus::IConnection& bus)
{
    bus.addMatch(nameOwnerRule, guarded(on_name_owner_changed), sdbus::floating_slot);
    bus.addMatch(propertiesRule, from_players(on_properties_changed), sdbus::floating_slot);
    bus.addMatch(seekedRule, from_players(on_seeked), sdbus::floating_slot);
    known_start();
    known_ask();
    for (auto& name : daemon_names()) {
        if (!name.starts_with(mprisPrefix))
            continue;
        try {
            add_player(name, daemon_name_owner(name), true);
        } catch (const sdbus::Error&) {
        }
    }
    known_answer();
}

void watch_detach()
{
    reading.clear();
    if (players_clear())
        notify_post(kMRMediaRemoteNowPlayingApplicationDidChangeNotification);
    known_stop();
}

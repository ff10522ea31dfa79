// Only signals from the connection that owns a tracked player count: anyone
// on the bus can send the rest. Whatever must be read is read asynchronously.
#include "watch.h"

#include "calls.h"
#include "names.h"
#include "notify.h"
#include "players.h"

#include <set>
#include <vector>

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

// A player that is slow at attach is asked again without holding anyone up.
static constexpr auto firstReadTimeout = 400ms;

static bool discovering;  // from attach until the players found then have answered
static int unanswered;    // the calls of that discovery still out
static std::vector<std::function<void()>>& waiting = *new std::vector<std::function<void()>>;
static std::set<std::string>& reading = *new std::set<std::string>;  // owners whose status is being read

struct Shown {
    std::string name;
    bool playing;
};

static Shown shown()
{
    const Player* p = players_current();
    return p ? Shown{p->name, p->playing} : Shown{"", false};
}

static bool is_current(const std::string& owner)
{
    const Player* p = players_current();
    return p && p->owner == owner;
}

static void post_changes(const Shown& before)
{
    Shown now = shown();
    if (now.name != before.name)
        notify_post(kMRMediaRemoteNowPlayingApplicationDidChangeNotification);
    else if (now.playing != before.playing)
        notify_post(kMRMediaRemoteNowPlayingApplicationIsPlayingDidChangeNotification);
}

static void post_info(const std::string& owner)
{
    if (is_current(owner))
        notify_post(kMRMediaRemoteNowPlayingInfoDidChangeNotification);
}

static void release_waiting()
{
    std::vector<std::function<void()>> jobs;
    jobs.swap(waiting);
    for (auto& job : jobs)
        job();
}

static void asked(bool atAttach)
{
    unanswered += atAttach;
}

static void answered(bool atAttach)
{
    if (atAttach && discovering && --unanswered == 0) {
        discovering = false;
        release_waiting();
    }
}

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
    asked(atAttach);
    auto timeout = atAttach ? std::chrono::milliseconds(firstReadTimeout) : callTimeout;
    call_player_property(
        owner, "PlaybackStatus",
        [owner, atAttach](const sdbus::Error* error, sdbus::Variant status) {
            reading.erase(owner);
            Shown before = shown();
            if (!error)
                players_set_playing(owner, is_playing(status));
            else if (atAttach)
                read_status(owner, false);
            post_changes(before);
            answered(atAttach);
        },
        timeout);
}

static void read_pid(const std::string& owner, bool atAttach)
{
    asked(atAttach);
    call_pid(owner, [owner, atAttach](const sdbus::Error* error, std::uint32_t pid) {
        if (!error) {
            players_set_pid(owner, static_cast<std::int32_t>(pid));
            if (is_current(owner))
                notify_post(kMRMediaRemoteNowPlayingApplicationDidChangeNotification);
        }
        answered(atAttach);
    });
}

// A player is followed as soon as it is on the bus, before it answers.
static void add_player(const std::string& name, const std::string& owner, bool atAttach)
{
    Shown before = shown();
    players_add(name, owner);
    post_changes(before);
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
    Shown before = shown();
    if (!oldOwner.empty())
        players_remove(name);
    post_changes(before);
    if (!newOwner.empty())
        add_player(name, newOwner, false);
}

static void on_properties_changed(sdbus::Message& msg, const std::string& owner)
{
    std::string interface;
    PropertyMap changed;
    std::vector<std::string> invalidated;
    msg >> interface >> changed >> invalidated;
    bool info = false, status = false;
    auto note = [&](const std::string& p) {
        info |= p == "Metadata" || p == "Position" || p == "Rate";
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
    if (info)
        post_info(owner);
}

static void on_seeked(sdbus::Message&, const std::string& owner)
{
    post_info(owner);
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
        Shown before = shown();
        players_touch(owner);
        try {
            handler(msg, owner);
        } catch (const sdbus::Error&) {
        }
        post_changes(before);
    };
}

static void discover(const std::string& name)
{
    asked(true);
    call_name_owner(name, [name](const sdbus::Error* error, std::string owner) {
        if (!error)
            add_player(name, owner, true);
        answered(true);
    });
}

// The rules go in before the names are listed, so no player slips between.
void watch_attach(sdbus::IConnection& bus)
{
    bus.addMatch(nameOwnerRule, guarded(on_name_owner_changed), sdbus::floating_slot);
    bus.addMatch(propertiesRule, from_players(on_properties_changed), sdbus::floating_slot);
    bus.addMatch(seekedRule, from_players(on_seeked), sdbus::floating_slot);
    discovering = true;
    unanswered = 0;
    asked(true);
    call_list_names([](const sdbus::Error*, std::vector<std::string> names) {
        for (auto& name : names)
            if (name.starts_with(mprisPrefix))
                discover(name);
        answered(true);
    });
}

void watch_detach()
{
    discovering = false;
    reading.clear();
    if (players_clear())
        notify_post(kMRMediaRemoteNowPlayingApplicationDidChangeNotification);
    release_waiting();
}

void watch_when_known(std::function<void()> job)
{
    if (discovering)
        waiting.push_back(std::move(job));
    else
        job();
}

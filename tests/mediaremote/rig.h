// What the stand-in's tests run on: a private session bus in the test's own
// temporary folder (removed at exit), tolvane-media-host on it, and scripted
// MPRIS players. Every process is ended by pid with its object.
#pragma once

#include "records.h"

#include <sdbus-c++/sdbus-c++.h>

#include <atomic>
#include <mutex>

using Clock = std::chrono::steady_clock;
using nlohmann::json;
using Metadata = std::map<std::string, sdbus::Variant>;

std::string test_folder();
inline std::string test_bus_address()
{
    return "unix:path=" + test_folder() + "/bus";
}

struct BusDaemon : Child {
    BusDaemon();
};

// With the built bridge and stand-in.
struct HostProcess : Child {
    HostProcess();
    // The first now-playing record that holds every field of part, noting in
    // seen every record read on the way.
    std::optional<json> record_where(const json& part,
        Clock::time_point deadline = Clock::now() + std::chrono::seconds(10), std::vector<json>* seen = nullptr);
};

// A player that owns org.mpris.MediaPlayer2.<name> (no name: none), serves
// the Player interface's properties, announces their changes, and notes every
// method call it receives as it handles it; a mute one never reads a message.
struct FakePlayer {
    explicit FakePlayer(const std::string& name, bool answers = true);
    ~FakePlayer() { connection_->leaveEventLoop(); }

    // What is given changes together, in one signal.
    void set(std::optional<std::string> status, std::optional<Metadata> metadata);
    void set_position(std::int64_t microseconds) { position_ = microseconds; }  // silent, as in MPRIS
    void seeked(std::int64_t microseconds);
    void invalidate();  // says the status and metadata changed, not to what
    // The calls so far, once there are at least that many or 10 s have passed.
    std::vector<std::string> calls(std::size_t atLeast = 0);

    std::unique_ptr<sdbus::IConnection> connection_;
    std::unique_ptr<sdbus::IObject> object_;
    std::mutex lock_;
    std::string status_ = "Stopped";
    Metadata metadata_;
    std::atomic<std::int64_t> position_ = 0;
    std::vector<std::string> calls_;
};

Metadata track(const std::string& title, const std::string& trackId = "/org/example/track/1");

// What the stand-in's tests run on: a private session bus in a temporary folder
// removed at exit, the host on it, and scripted players; processes end by pid.
#pragma once

#include "records.h"
#include "wait.h"

#include <sdbus-c++/sdbus-c++.h>

#include <mutex>

using Clock = std::chrono::steady_clock;
using nlohmann::json;
using Metadata = std::map<std::string, sdbus::Variant>;

std::string test_folder();

struct BusDaemon : Child {
    BusDaemon();
    static std::string address() { return "unix:path=" + test_folder() + "/bus"; }
};

// With the built bridge and stand-in, on the test's bus only, never one the runtime folder names.
struct HostProcess : Child {
    HostProcess()
        : Child({TOLVANE_HOST_PATH}, {"DBUS_SESSION_BUS_ADDRESS=" + BusDaemon::address(), "XDG_RUNTIME_DIR"})
    {
    }
    // The first record before the deadline with every field of part.
    std::optional<json> record_where(
        const json& part, Clock::time_point deadline = Clock::now() + std::chrono::seconds(10));
};

// A player that owns org.mpris.MediaPlayer2.<name> (no name: none), serves the
// Player interface's properties and notes every method call as it handles it.
// A mute one never reads a message and announces its changes without their
// values, so that whoever believes it has to ask it.
struct FakePlayer {
    explicit FakePlayer(const std::string& name, bool answers = true);
    ~FakePlayer() { connection_->leaveEventLoop(); }

    // What is given changes together, in one signal.
    void set(std::optional<std::string> status, std::optional<Metadata> metadata);
    void seeked(std::int64_t microseconds);  // otherwise the position changes silently, as in MPRIS
    // The calls so far, once there are at least that many or 10 s have passed.
    std::vector<std::string> calls(std::size_t atLeast = 0);

    std::unique_ptr<sdbus::IConnection> connection_;
    std::unique_ptr<sdbus::IObject> object_;
    std::mutex lock_;
    std::string status_ = "Stopped";
    Metadata metadata_;
    std::int64_t position_ = 0;
    std::vector<std::string> calls_;
};

Metadata track(const std::string& title, const std::string& trackId = "/org/example/track/1");

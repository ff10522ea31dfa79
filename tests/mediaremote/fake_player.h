// A scripted MPRIS player on the test's bus: it owns
// org.mpris.MediaPlayer2.<name>, serves the Player interface's properties,
// announces their changes, and notes every method call it receives, as it
// handles it. A slow one handles what it received only every so often.
#pragma once

#include "repeater.h"

#include <sdbus-c++/sdbus-c++.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

using Metadata = std::map<std::string, sdbus::Variant>;

struct FakePlayer {
    explicit FakePlayer(const std::string& name, double rate = 1.0,
        std::chrono::milliseconds answerEvery = std::chrono::milliseconds(0));
    ~FakePlayer();

    // What is given changes together, in one signal.
    void set(std::optional<std::string> status, std::optional<Metadata> metadata);
    void set_metadata(const Metadata& metadata) { set(std::nullopt, metadata); }
    void set_position(std::int64_t microseconds);  // silent, as in MPRIS
    void seeked(std::int64_t microseconds);
    void invalidate();  // says the status and metadata changed, not to what
    std::vector<std::string> calls();

    std::unique_ptr<sdbus::IConnection> connection_;
    std::unique_ptr<sdbus::IObject> object_;
    std::mutex lock_;
    std::string status_ = "Stopped";
    Metadata metadata_;
    std::int64_t position_ = 0;
    double rate_ = 1.0;
    std::vector<std::string> calls_;
    std::unique_ptr<Repeater> slowLoop_;  // last: it stops before the connection goes
};

// PropertiesChanged on the player path, naming the status and the metadata
// as changed without their values, from whichever object is given.
void announce_invalidated(sdbus::IObject& object);

Metadata track(const std::string& title, const std::string& trackId = "/org/example/track/1");

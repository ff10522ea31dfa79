// A scripted MPRIS player on the test's bus: it owns
// org.mpris.MediaPlayer2.<name>, serves the Player interface's properties
// and methods, announces changes as a real player does, and records every
// call it receives.
#pragma once

#include <sdbus-c++/sdbus-c++.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using Metadata = std::map<std::string, sdbus::Variant>;

class FakePlayer {
public:
    explicit FakePlayer(const std::string& name, bool hasRate = true);
    ~FakePlayer();

    void set_status(const std::string& status);  // "Playing", "Paused", "Stopped"
    void set_metadata(const Metadata& metadata);
    void set_position(std::int64_t microseconds);  // silent, as in MPRIS
    void set_rate(double rate);
    void seeked(std::int64_t microseconds);

    std::vector<std::string> calls();
    bool received(const std::string& call);  // waits for it

private:
    void record(const std::string& call);
    void changed(const std::string& property);

    std::unique_ptr<sdbus::IConnection> connection_;
    std::unique_ptr<sdbus::IObject> object_;
    std::mutex lock_;
    std::string status_ = "Stopped";
    Metadata metadata_;
    std::int64_t position_ = 0;
    double rate_ = 1.0;
    std::vector<std::string> calls_;
};

Metadata track(const std::string& title, const std::string& trackId = "/org/example/track/1");

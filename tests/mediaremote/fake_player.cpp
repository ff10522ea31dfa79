#include "fake_player.h"

#include "eventually.h"

#include <algorithm>

static const char* const playerInterface = "org.mpris.MediaPlayer2.Player";

FakePlayer::FakePlayer(const std::string& name, bool hasRate)
    : connection_(sdbus::createSessionBusConnection())
    , object_(sdbus::createObject(*connection_, "/org/mpris/MediaPlayer2"))
{
    auto method = [this](const char* m) {
        object_->registerMethod(m).onInterface(playerInterface).implementedAs([this, m] { record(m); });
    };
    for (const char* m : {"Play", "Pause", "PlayPause", "Next", "Previous", "Stop"})
        method(m);
    object_->registerMethod("SetPosition")
        .onInterface(playerInterface)
        .implementedAs([this](const sdbus::ObjectPath& track, std::int64_t position) {
            record("SetPosition " + track + " " + std::to_string(position));
        });
    object_->registerMethod("Seek").onInterface(playerInterface).implementedAs([this](std::int64_t offset) {
        record("Seek " + std::to_string(offset));
    });
    object_->registerProperty("PlaybackStatus").onInterface(playerInterface).withGetter([this] {
        std::lock_guard l(lock_);
        return status_;
    });
    object_->registerProperty("Metadata").onInterface(playerInterface).withGetter([this] {
        std::lock_guard l(lock_);
        return metadata_;
    });
    object_->registerProperty("Position").onInterface(playerInterface).withGetter([this] {
        std::lock_guard l(lock_);
        return position_;
    });
    if (hasRate)
        object_->registerProperty("Rate").onInterface(playerInterface).withGetter([this] {
            std::lock_guard l(lock_);
            return rate_;
        });
    object_->registerSignal("Seeked").onInterface(playerInterface).withParameters<std::int64_t>();
    object_->finishRegistration();
    connection_->enterEventLoopAsync();
    // The name goes last, so whoever sees it appear finds the object ready.
    connection_->requestName("org.mpris.MediaPlayer2." + name);
}

FakePlayer::~FakePlayer()
{
    connection_->leaveEventLoop();
    object_.reset();
}

void FakePlayer::changed(const std::string& property)
{
    object_->emitPropertiesChangedSignal(playerInterface, {property});
}

void FakePlayer::set_status(const std::string& status)
{
    {
        std::lock_guard l(lock_);
        status_ = status;
    }
    changed("PlaybackStatus");
}

void FakePlayer::set_metadata(const Metadata& metadata)
{
    {
        std::lock_guard l(lock_);
        metadata_ = metadata;
    }
    changed("Metadata");
}

void FakePlayer::set_position(std::int64_t microseconds)
{
    std::lock_guard l(lock_);
    position_ = microseconds;
}

void FakePlayer::set_rate(double rate)
{
    {
        std::lock_guard l(lock_);
        rate_ = rate;
    }
    changed("Rate");
}

void FakePlayer::seeked(std::int64_t microseconds)
{
    set_position(microseconds);
    object_->emitSignal("Seeked").onInterface(playerInterface).withArguments(microseconds);
}

void FakePlayer::record(const std::string& call)
{
    std::lock_guard l(lock_);
    calls_.push_back(call);
}

std::vector<std::string> FakePlayer::calls()
{
    std::lock_guard l(lock_);
    return calls_;
}

bool FakePlayer::received(const std::string& call)
{
    return eventually([&] {
        auto c = calls();
        return std::find(c.begin(), c.end(), call) != c.end();
    });
}

Metadata track(const std::string& title, const std::string& trackId)
{
    return {{"xesam:title", sdbus::Variant(title)}, {"mpris:trackid", sdbus::Variant(sdbus::ObjectPath(trackId))}};
}

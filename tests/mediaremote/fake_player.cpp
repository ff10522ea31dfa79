#include "fake_player.h"

static const char* const playerInterface = "org.mpris.MediaPlayer2.Player";

template <typename T> static void serve(sdbus::IObject& object, std::mutex& lock, const char* name, T& value)
{
    object.registerProperty(name).onInterface(playerInterface).withGetter([&lock, &value] {
        std::lock_guard guard(lock);
        return value;
    });
}

FakePlayer::FakePlayer(const std::string& name, double rate, std::chrono::milliseconds answerEvery)
    : connection_(sdbus::createSessionBusConnection())
    , object_(sdbus::createObject(*connection_, "/org/mpris/MediaPlayer2"))
    , rate_(rate)
{
    auto note = [this](std::string call) {
        std::lock_guard guard(lock_);
        calls_.push_back(std::move(call));
    };
    for (const char* method : {"Play", "Pause", "PlayPause", "Next", "Previous"})
        object_->registerMethod(method).onInterface(playerInterface).implementedAs([note, method] { note(method); });
    object_->registerMethod("SetPosition")
        .onInterface(playerInterface)
        .implementedAs([note](const sdbus::ObjectPath& track, std::int64_t at) {
            note("SetPosition " + track + " " + std::to_string(at));
        });
    object_->registerMethod("Seek").onInterface(playerInterface).implementedAs([note](std::int64_t offset) {
        note("Seek " + std::to_string(offset));
    });
    serve(*object_, lock_, "PlaybackStatus", status_);
    serve(*object_, lock_, "Metadata", metadata_);
    serve(*object_, lock_, "Position", position_);
    serve(*object_, lock_, "Rate", rate_);
    object_->registerSignal("Seeked").onInterface(playerInterface).withParameters<std::int64_t>();
    object_->finishRegistration();
    if (answerEvery.count() > 0)
        slowLoop_ = std::make_unique<Repeater>(
            [this] {
                while (connection_->processPendingRequest()) { }
            },
            answerEvery);
    else
        connection_->enterEventLoopAsync();
    // The name goes last, so whoever sees it appear finds the object ready.
    connection_->requestName("org.mpris.MediaPlayer2." + name);
}

FakePlayer::~FakePlayer()
{
    if (!slowLoop_)
        connection_->leaveEventLoop();
}

void FakePlayer::set(std::optional<std::string> status, std::optional<Metadata> metadata)
{
    std::vector<std::string> changed;
    {
        std::lock_guard guard(lock_);
        if (status)
            status_ = *status, changed.push_back("PlaybackStatus");
        if (metadata)
            metadata_ = *metadata, changed.push_back("Metadata");
    }
    object_->emitPropertiesChangedSignal(playerInterface, changed);
}

void FakePlayer::set_position(std::int64_t microseconds)
{
    std::lock_guard guard(lock_);
    position_ = microseconds;
}

void FakePlayer::seeked(std::int64_t microseconds)
{
    set_position(microseconds);
    object_->emitSignal("Seeked").onInterface(playerInterface).withArguments(microseconds);
}

void FakePlayer::invalidate()
{
    announce_invalidated(*object_);
}

std::vector<std::string> FakePlayer::calls()
{
    std::lock_guard guard(lock_);
    return calls_;
}

Metadata track(const std::string& title, const std::string& trackId)
{
    return {{"xesam:title", sdbus::Variant(title)}, {"mpris:trackid", sdbus::Variant(sdbus::ObjectPath(trackId))}};
}

void announce_invalidated(sdbus::IObject& object)
{
    auto signal = object.createSignal("org.freedesktop.DBus.Properties", "PropertiesChanged");
    signal << std::string(playerInterface) << Metadata{} << std::vector<std::string>{"PlaybackStatus", "Metadata"};
    object.emitSignal(signal);
}

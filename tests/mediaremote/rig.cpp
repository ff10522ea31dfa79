#include "rig.h"

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>

// The thread sanitizer cannot see the D-Bus libraries' locks: their reports are left out.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:libsdbus-c++.so.1\nrace:libsystemd.so.0\n";
}

std::string test_folder()
{
    static char folder[] = "/tmp/mediaremote-test-XXXXXX";
    static const bool made = mkdtemp(folder) && !std::atexit([] { std::filesystem::remove_all(folder); });
    return made ? folder : throw std::runtime_error("mkdtemp");
}

// Ready once it prints its address; it replaces the socket a killed daemon left.
BusDaemon::BusDaemon()
    : Child({"/usr/bin/dbus-daemon", "--session", "--nofork", "--print-address", "--address=" + address()})
{
    if (!child_read_line(*this))
        throw std::runtime_error("dbus-daemon did not start");
}

std::optional<json> HostProcess::record_where(const json& part, Clock::time_point deadline)
{
    while (auto record = next_record(*this, deadline)) {
        json patched = *record;
        patched.merge_patch(part);
        if (patched == *record)
            return record;
    }
    return std::nullopt;
}

template <class T> static T locked(std::mutex& lock, const T& value)
{
    std::lock_guard guard(lock);
    return value;
}

static const char* const playerInterface = "org.mpris.MediaPlayer2.Player";

FakePlayer::FakePlayer(const std::string& name, bool answers)
    : connection_(sdbus::createSessionBusConnectionWithAddress(BusDaemon::address()))
    , object_(sdbus::createObject(*connection_, "/org/mpris/MediaPlayer2"))
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
    auto serve = [&](const char* property, const auto& value) {
        object_->registerProperty(property)
            .onInterface(playerInterface)
            .withGetter([this, &value] { return locked(lock_, value); })
            .withUpdateBehavior(answers ? sdbus::Flags::EMITS_CHANGE_SIGNAL : sdbus::Flags::EMITS_INVALIDATION_SIGNAL);
    };
    serve("PlaybackStatus", status_);
    serve("Metadata", metadata_);
    serve("Position", position_);
    object_->finishRegistration();
    if (answers)
        connection_->enterEventLoopAsync();
    // The name goes last, so whoever sees it finds the object ready. Without one,
    // asking its own name finishes the greeting, which a mute one never would.
    name.empty() ? void(connection_->getUniqueName()) : connection_->requestName("org.mpris.MediaPlayer2." + name);
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

void FakePlayer::seeked(std::int64_t microseconds)
{
    std::lock_guard guard(lock_);
    position_ = microseconds;
    object_->emitSignal("Seeked").onInterface(playerInterface).withArguments(microseconds);
}

std::vector<std::string> FakePlayer::calls(std::size_t atLeast)
{
    std::vector<std::string> calls;
    wait_until([&] { return (calls = locked(lock_, calls_)).size() >= atLeast; });
    return calls;
}

Metadata track(const std::string& title, const std::string& trackId)
{
    return {{"xesam:title", sdbus::Variant(title)}, {"mpris:trackid", sdbus::Variant(sdbus::ObjectPath(trackId))}};
}

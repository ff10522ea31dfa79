// The stand-in's tests run on a private bus in a temporary folder removed at exit, with scripted players.
#pragma once

#include "records.h"
#include "temp_dir.h"
#include "wait.h"

#include <sdbus-c++/sdbus-c++.h>
#include <sys/socket.h>

#include <atomic>
#include <mutex>
#include <thread>

using namespace std::literals;
using Clock = std::chrono::steady_clock;
using nlohmann::json;
using Metadata = std::map<std::string, sdbus::Variant>;

inline std::string test_folder()
{
    static const TempDir folder;
    return folder.path;
}

// Ready once it prints its address (else it throws); bus.conf keeps the daemon's own limit of waiting replies.
struct BusDaemon : Child {
    explicit BusDaemon(const std::string& config = TOLVANE_TEST_BUS_CONF)
        : Child({"/usr/bin/dbus-daemon", "--config-file=" + config, "--nofork", "--print-address",
              "--address=" + address()})
    {
        child_read_line(*this).value();
    }
    static std::string address() { return "unix:path=" + test_folder() + "/bus"; }
};

// On the test's bus only, never one the runtime folder names; its reads of files named hung.* never return, and it
// makes no thread while the file no-threads exists.
struct HostProcess : Child {
    HostProcess()
        : Child({"/usr/bin/env", "-u", "XDG_RUNTIME_DIR", "DBUS_SESSION_BUS_ADDRESS=" + BusDaemon::address(),
              "LD_PRELOAD=" TOLVANE_HUNG_READS, "TOLVANE_NO_THREADS=" + test_folder() + "/no-threads",
              TOLVANE_HOST_PATH})
    {
    }
    // The first record before the deadline with every field of part.
    std::optional<json> record_where(const json& part, Clock::time_point deadline = Clock::now() + 10s)
    {
        while (auto record = next_record(*this, deadline))
            if (json patched = *record; (patched.merge_patch(part), patched == *record))
                return record;
        return std::nullopt;
    }
};

// A player owning org.mpris.MediaPlayer2.<name> (no name: none) that notes each call it handles. A mute one never reads
// and announces changes without values, so a believer has to ask; an odd one tells its position as a fraction.
struct FakePlayer {
    static constexpr const char* interface = "org.mpris.MediaPlayer2.Player";
    template <class F> auto locked(F f) { return std::lock_guard(lock_), f(); }

    explicit FakePlayer(const std::string& name, bool answers = true, bool oddPosition = false)
        : connection_(sdbus::createSessionBusConnectionWithAddress(BusDaemon::address()))
        , object_(sdbus::createObject(*connection_, "/org/mpris/MediaPlayer2"))
    {
        auto note = [this](const std::string& call) { locked([&] { calls_.push_back(call); }); };
        for (const char* method : {"Play", "Pause", "PlayPause", "Next", "Previous"})
            object_->registerMethod(method).onInterface(interface).implementedAs([note, method] { note(method); });
        object_->registerMethod("SetPosition")
            .onInterface(interface)
            .implementedAs([note](const sdbus::ObjectPath& track, std::int64_t at) {
                note("SetPosition " + track + " " + std::to_string(at));
            });
        object_->registerMethod("Seek").onInterface(interface).implementedAs(
            [note](std::int64_t by) { note("Seek " + std::to_string(by)); });
        auto serve = [&](const char* property, const auto& value) {
            object_->registerProperty(property)
                .onInterface(interface)
                .withGetter([this, &value] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(slowReads-- > 0 ? slowMs.load() : 0));
                    return locked([&] { return value; });
                })
                .withUpdateBehavior(
                    answers ? sdbus::Flags::EMITS_CHANGE_SIGNAL : sdbus::Flags::EMITS_INVALIDATION_SIGNAL);
        };
        serve("PlaybackStatus", status_), serve("Metadata", metadata_), serve("Rate", rate_);
        oddPosition ? serve("Position", rate_) : serve("Position", position_), object_->finishRegistration();
        if (answers)
            loop_ = std::thread([this] {
                try {
                    connection_->enterEventLoop();
                } catch (const sdbus::Error&) {  // the bus went away
                }
            });
        // The name last, so the object is ready when seen; without one, asking its own name ends the greeting.
        name.empty() ? void(connection_->getUniqueName()) : connection_->requestName("org.mpris.MediaPlayer2." + name);
    }
    ~FakePlayer() { connection_->leaveEventLoop(), loop_.joinable() ? loop_.join() : void(); }

    // What is given changes together: the properties in one signal, after the seek's own (else silent, as in MPRIS).
    void set(std::optional<std::string> status, std::optional<Metadata> metadata, std::optional<std::int64_t> seek = {})
    {
        std::vector<std::string> changed;
        locked([&] {
            if (status)
                status_ = *status, changed.push_back("PlaybackStatus");
            if (metadata)
                metadata_ = *metadata, changed.push_back("Metadata");
            position_ = seek.value_or(position_);
        });
        if (seek)
            object_->emitSignal("Seeked").onInterface(interface).withArguments(*seek);
        if (!changed.empty())  // none would mean all
            object_->emitPropertiesChangedSignal(interface, changed);
    }
    // One property changed alone, and said as any player may: with its value, or its name only invalidated.
    template <class T> void announce(T& member, std::type_identity_t<T> value, const char* name, bool given = true)
    {
        locked([&] { member = value; });
        object_->emitSignal("PropertiesChanged")
            .onInterface("org.freedesktop.DBus.Properties")
            .withArguments(std::string(interface), given ? Metadata{{name, sdbus::Variant(value)}} : Metadata{},
                given ? std::vector<std::string>{} : std::vector<std::string>{name});
    }
    int unread_calls(const std::string& method)  // of a mute one: the calls its connection holds
    {
        std::string held(1 << 20, '\0'), field = std::string("\3\1s\0", 4) + char(method.size()) + std::string(3, '\0');
        held.resize(std::max(
            recv(connection_->getEventLoopPollData().fd, held.data(), held.size(), MSG_PEEK | MSG_DONTWAIT), 0L));
        int count = 0;
        for (auto at = held.find(field += method + '\0'); at != held.npos; at = held.find(field, at + 1), ++count) { }
        return count;
    }
    std::vector<std::string> calls(std::size_t atLeast = 0)  // so far, once there are atLeast or after 10 s
    {
        std::vector<std::string> calls;
        return wait_until([&] { return (calls = locked([&] { return calls_; })).size() >= atLeast; }), calls;
    }

    std::unique_ptr<sdbus::IConnection> connection_;
    std::unique_ptr<sdbus::IObject> object_;
    std::thread loop_;
    std::mutex lock_;
    std::string status_ = "Stopped";
    Metadata metadata_;
    std::int64_t position_ = 0;
    double rate_ = 1.0;
    std::vector<std::string> calls_;
    std::atomic<int> slowReads = 0, slowMs = 500;  // the next reads this late: past a first read at attach (400 ms)
};

inline Metadata track(const std::string& title, const std::string& trackId = "/org/example/track/1")
{
    return {{"xesam:title", sdbus::Variant(title)}, {"mpris:trackid", sdbus::Variant(sdbus::ObjectPath(trackId))}};
}

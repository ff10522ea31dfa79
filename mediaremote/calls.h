// The calls the stand-in makes, all asynchronous with a short time-out, so
// that no peer can hold the bus thread. Each is answered exactly once, on the
// bus thread: with its results, or with an error and empty results when it
// fails, times out or is dropped (a failed send is answered before the call
// returns). Bus thread only.
#pragma once

#include <sdbus-c++/sdbus-c++.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

using PropertyMap = std::map<std::string, sdbus::Variant>;

template <class... Results> using Reply = std::function<void(const sdbus::Error* error, Results... results)>;

inline constexpr const char* playerInterface = "org.mpris.MediaPlayer2.Player";
inline constexpr std::chrono::milliseconds callTimeout{1000};

void calls_attach(sdbus::IConnection& bus);
void calls_sweep();   // forgets the calls answered; never while a reply is handled
void calls_detach();  // answers the calls still out with an error

// The bus's own answers, awaited, within the connection's method-call
// time-out: only at attach, where a player's signals cannot be told from a
// stranger's until its owner is known. They throw sdbus::Error.
std::vector<std::string> daemon_names();
std::string daemon_name_owner(const std::string& name);

void call_pid(const std::string& owner, Reply<std::uint32_t> reply);
void call_player_properties(const std::string& player, Reply<PropertyMap> reply);
void call_player_property(const std::string& player, const char* property, Reply<sdbus::Variant> reply,
    std::chrono::milliseconds timeout = callTimeout);
// Commands: their answers only tell that the call is over.
void call_player_method(const std::string& player, const char* method, Reply<> over);
void call_player_seek(const std::string& player, std::int64_t offset, Reply<> over);
void call_player_set_position(
    const std::string& player, const sdbus::ObjectPath& track, std::int64_t position, Reply<> over);

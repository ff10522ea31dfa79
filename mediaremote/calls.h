// The blocking calls the stand-in makes, each with a short timeout so a hung
// player cannot stall the bus thread for long. They throw sdbus::Error.
#pragma once

#include <sdbus-c++/sdbus-c++.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

using PropertyMap = std::map<std::string, sdbus::Variant>;

inline constexpr const char* playerInterface = "org.mpris.MediaPlayer2.Player";
inline constexpr const char* playerPath = "/org/mpris/MediaPlayer2";

std::vector<std::string> call_list_names(sdbus::IConnection& bus);
std::string call_name_owner(sdbus::IConnection& bus, const std::string& name);
std::int32_t call_pid(sdbus::IConnection& bus, const std::string& owner);
PropertyMap call_player_properties(sdbus::IConnection& bus, const std::string& player);
sdbus::Variant call_player_property(sdbus::IConnection& bus, const std::string& player, const char* property);
std::unique_ptr<sdbus::IProxy> player_proxy(sdbus::IConnection& bus, const std::string& player);

inline constexpr auto callTimeout = std::chrono::seconds(1);

// The answers to the framework's three questions about the now-playing
// player, on the bus thread. Without a bus or a player: 0, false, none.
#pragma once

#include "calls.h"
#include "media_remote.h"

std::int32_t info_pid();
bool info_playing();
void info_gather(MRInfoCallback answer);                                           // answers once, on the bus thread
void info_metadata_changed(const std::string& owner, const PropertyMap& changed);  // or invalidated

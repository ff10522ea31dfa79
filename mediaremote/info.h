// The answers to the framework's three questions about the now-playing
// player, read on the bus thread. Without a bus or a player: 0, false, none.
#pragma once

#include "media_remote.h"

std::int32_t info_pid();
bool info_playing();
MRInfo info_gather();

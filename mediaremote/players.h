// The players on the bus as the signals tell them, and which one is now
// playing. Touched only on the bus thread.
#pragma once

#include <cstdint>
#include <string>

struct Player {
    std::string name;   // well-known name, org.mpris.MediaPlayer2.*
    std::string owner;  // unique name of its connection: signals come from it
    std::int32_t pid;
    bool playing;
    std::uint64_t startedAt;  // tick at which it last began playing
    std::uint64_t activeAt;   // tick of its last sign of life
};

void players_add(const std::string& name, const std::string& owner);  // not playing, pid unknown (0)
void players_remove(const std::string& name);
bool players_clear();
bool players_tracks(const std::string& owner);
void players_set_pid(const std::string& owner, std::int32_t pid);
void players_set_playing(const std::string& owner, bool playing);
void players_touch(const std::string& owner);
const Player* players_current();

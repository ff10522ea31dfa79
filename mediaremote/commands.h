// Steering the now-playing player. Bus thread only.
#pragma once

#include <cstdint>

bool command_known(std::uint32_t command);
void command_send(std::uint32_t command);
void command_set_position(double seconds);
bool commands_pending();  // some command is not yet handed to the bus

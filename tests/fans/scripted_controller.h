// A controller the tests script key by key: it logs every exchange as text
// ("info F0Tg", "read F0Mn", "write F0Md 01") and fails chosen ones on demand.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "smc.h"

// Forgets every key, fault and logged exchange, and opens the connection.
void script_reset();

void script_key(const char* name, const char* type, uint32_t size, std::vector<uint8_t> bytes);
void script_flt(const char* name, float value);
void script_ui8(const char* name, uint8_t value);

// The exchange logged as `entry` ("write F1Md") answers a non-zero result
// from now on; script_break makes the call itself fail instead.
void script_refuse(const std::string& entry);
void script_break(const std::string& entry);

// The exchanges since the last reset, and their request records.
const std::vector<std::string>& script_log();
const std::vector<SmcRecord>& script_requests();

// The bytes a key holds now (written ones included).
std::vector<uint8_t> script_bytes(const char* name);

// Keys of a typical two-fan machine: FNum 2, Ftst 0, "flt " speeds, "ui8 " modes.
void script_two_fans();

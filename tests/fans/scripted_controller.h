// A controller the tests script key by key. It logs every exchange as text
// ("info F0Tg", "read F0Mn", "write F0Md 01"), adding " (dirty)" when a record
// carries anything outside the fields its sub-command uses, and fails the
// exchanges named in faults.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "smc.h"

enum Fault { kRefused, kBroken };   // a non-zero result, or a failed call
struct ScriptedKey {
    const char* type;
    uint32_t size;
    std::vector<uint8_t> bytes;
};

extern std::map<std::string, ScriptedKey> keys;
extern std::map<std::string, Fault> faults;   // by head: "write F1Md"
extern std::vector<std::string> exchanges;

ScriptedKey flt(float value);

// A machine with these keys and faults, nothing exchanged yet.
inline void script(std::map<std::string, ScriptedKey> k, std::map<std::string, Fault> f = {})
{
    keys = std::move(k), faults = std::move(f), exchanges.clear();
}

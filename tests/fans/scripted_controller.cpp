#include "scripted_controller.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "user_client.h"

uint32_t smc = 1;
std::map<std::string, ScriptedKey> keys;
std::map<std::string, Fault> faults;
std::vector<std::string> exchanges;

ScriptedKey flt(float value)
{
    std::vector<uint8_t> bytes(4);
    memcpy(bytes.data(), &value, 4);
    return {"flt ", 4, bytes};
}

bool smc_open() { return true; }

// Only the fields its sub-command uses may be set; every reply comes zero-filled.
static bool clean(SmcRecord request, const SmcRecord* reply)
{
    static const SmcRecord zero{};
    uint8_t command = request.command;
    if (command == kSmcCmdWrite)
        memset(request.bytes, 0, std::min(request.dataSize, 32u));
    if (command != kSmcCmdKeyInfo)
        request.dataSize = 0;
    request.key = request.command = 0;
    return memcmp(&request, &zero, sizeof zero) == 0 && memcmp(reply, &zero, sizeof zero) == 0;
}

static std::string write_data(const SmcRecord* r)
{
    std::string hex;
    for (uint32_t i = 0; i < std::min(r->dataSize, 32u); i++) {
        char digits[4];
        snprintf(digits, sizeof digits, i ? "%02x" : " %02x", r->bytes[i]);
        hex += digits;
    }
    return hex;
}

int smc_call(const SmcRecord* request, SmcRecord* reply)
{
    uint32_t c = request->key;
    uint8_t command = request->command;
    std::string name = {char(c >> 24), char(c >> 16), char(c >> 8), char(c)};
    std::string head = (command == kSmcCmdKeyInfo ? "info " : command == kSmcCmdRead ? "read "
                        : command == kSmcCmdWrite ? "write " : "? ") + name;
    std::string entry = command == kSmcCmdWrite ? head + write_data(request) : head;
    exchanges.push_back(clean(*request, reply) ? entry : entry + " (dirty)");

    auto fault = faults.find(head);
    if (fault != faults.end() && fault->second == kBroken)
        return 1;
    auto k = keys.find(name);
    if (k == keys.end() || fault != faults.end() || (command != kSmcCmdKeyInfo && request->dataSize != k->second.size)) {
        reply->result = kSmcRefused;
        return 0;
    }
    ScriptedKey& key = k->second;
    if (command == kSmcCmdKeyInfo) {
        reply->dataSize = key.size;
        reply->dataType = key_code(key.type);
    } else if (command == kSmcCmdRead) {
        memcpy(reply->bytes, key.bytes.data(), std::min<size_t>(key.bytes.size(), 32));
    } else if (command == kSmcCmdWrite) {
        key.bytes.assign(request->bytes, request->bytes + std::min(key.size, 32u));
    }
    return 0;
}

#include "scripted_controller.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "user_client.h"

uint32_t smc;

struct ScriptedKey {
    uint32_t type;
    uint32_t size;
    std::vector<uint8_t> bytes;
};

static std::map<std::string, ScriptedKey> keys;
static std::set<std::string> refused, broken;
static std::vector<std::string> log;
static std::vector<SmcRecord> requests;

void script_reset()
{
    keys.clear();
    refused.clear();
    broken.clear();
    log.clear();
    requests.clear();
    smc = 1;
}

void script_key(const char* name, const char* type, uint32_t size, std::vector<uint8_t> bytes)
{
    bytes.resize(32);
    keys[name] = {key_code(type), size, bytes};
}

void script_flt(const char* name, float value)
{
    std::vector<uint8_t> bytes(4);
    memcpy(bytes.data(), &value, 4);
    script_key(name, "flt ", 4, bytes);
}

void script_ui8(const char* name, uint8_t value)
{
    script_key(name, "ui8 ", 1, {value});
}

void script_refuse(const std::string& entry) { refused.insert(entry); }
void script_break(const std::string& entry) { broken.insert(entry); }
const std::vector<std::string>& script_log() { return log; }
const std::vector<SmcRecord>& script_requests() { return requests; }

std::vector<uint8_t> script_bytes(const char* name)
{
    const ScriptedKey& k = keys.at(name);
    return {k.bytes.begin(), k.bytes.begin() + k.size};
}

void script_two_fans()
{
    script_ui8("FNum", 2);
    script_ui8("Ftst", 0);
    const float speeds[2][4] = {{1200, 1200, 6000, 1200}, {1300, 1300, 6500, 1300}};
    const char* letters[4] = {"Ac", "Mn", "Mx", "Tg"};
    for (int n = 0; n < 2; n++) {
        for (int i = 0; i < 4; i++)
            script_flt(("F" + std::to_string(n) + letters[i]).c_str(), speeds[n][i]);
        script_ui8(("F" + std::to_string(n) + "Md").c_str(), 0);
    }
}

static std::string key_name(uint32_t code)
{
    char name[5] = {char(code >> 24), char(code >> 16), char(code >> 8), char(code), 0};
    return name;
}

// "info F0Tg", "read F0Mn", "write F0Md": what an exchange does to which key.
static std::string head_of(const SmcRecord* r)
{
    const char* verb = r->command == kSmcCmdKeyInfo ? "info "
                       : r->command == kSmcCmdRead  ? "read "
                       : r->command == kSmcCmdWrite ? "write "
                                                    : "command? ";
    return verb + key_name(r->key);
}

// A write is logged with its data in hex: "write F0Tg 5dc0".
static std::string entry_of(const SmcRecord* r)
{
    std::string entry = head_of(r);
    if (r->command != kSmcCmdWrite)
        return entry;
    entry += ' ';
    for (uint32_t i = 0; i < r->dataSize && i < 32; i++) {
        char hex[3];
        snprintf(hex, sizeof hex, "%02x", r->bytes[i]);
        entry += hex;
    }
    return entry;
}

static bool zero_filled(const SmcRecord* r)
{
    static const SmcRecord zero{};
    return memcmp(r, &zero, sizeof zero) == 0;
}

static void answer(const SmcRecord* request, SmcRecord* reply, ScriptedKey& k)
{
    if (request->command == kSmcCmdKeyInfo) {
        reply->dataSize = k.size;
        reply->dataType = k.type;
    } else if (request->command == kSmcCmdRead) {
        memcpy(reply->bytes, k.bytes.data(), 32);
    } else if (request->command == kSmcCmdWrite) {
        memcpy(k.bytes.data(), request->bytes, std::min<uint32_t>(request->dataSize, 32));
    }
}

int smc_call(const SmcRecord* request, SmcRecord* reply)
{
    std::string entry = entry_of(request);
    log.push_back(zero_filled(reply) ? entry : entry + " (reply not zero-filled)");
    requests.push_back(*request);
    std::string head = head_of(request);
    if (broken.count(head))
        return 1;
    auto k = keys.find(key_name(request->key));
    if (k == keys.end() || refused.count(head))
        reply->result = kSmcKeyNotFound;
    else
        answer(request, reply, k->second);
    return 0;
}

bool smc_open()
{
    smc = 1;
    return true;
}

// Linux: answers the record protocol from the kernel's SMC driver in sysfs,
// applesmc on Intel Macs (in either naming of its files), else macsmc_hwmon on
// Apple Silicon. Speeds are "flt " keys of whole rpm, modes "ui8 ". As on the
// simulated controller only mode and target are writable: applesmc would also
// take the machine's own minimum.
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "smc.h"
#include "sysfs_driver.h"
#include "sysfs_files.h"
#include "user_client.h"

uint32_t smc;

static const SysfsDriver* driver;

bool smc_open()
{
    if (smc != 0)
        return true;
    for (const SysfsDriver* d : {&applesmcDriver, &applesmcHwmonDriver, &macsmcDriver}) {
        if (d->find()) {
            driver = d;
            smc = 1;
            return true;
        }
    }
    return false;
}

bool smc_claim()
{
    return lock_fan_dir();
}

// "FNum" beside the fan keys' fields; no file backs it.
constexpr int kFanCount = kFanFields;

struct SysfsKey {
    int field;
    int fan;
};

static bool lookup(uint32_t key, SysfsKey* k)
{
    *k = {kFanCount, 0};
    if (key == key_code("FNum"))
        return true;
    int n = int(key >> 16 & 0xFF) - '0';
    if (key >> 24 != 'F' || n < 0 || n > 9)
        return false;
    static const char letters[kFanFields][3] = {"Ac", "Mn", "Mx", "Tg", "Md"};
    for (const auto& letter : letters) {
        if ((key & 0xFFFF) == uint32_t(letter[0] << 8 | letter[1])) {
            *k = {int(&letter - letters), n};
            return has_fan_file(n, driver->files[k->field]);
        }
    }
    return false;
}

static bool is_speed(const SysfsKey& k)
{
    return k.field != kFanCount && k.field != kFanMode;
}

static bool read_value(const SysfsKey& k, long* value)
{
    if (k.field == kFanCount) {
        *value = count_fans();
        return true;
    }
    if (k.field == kFanMode)
        return driver->read_mode(k.fan, value);
    return read_fan_number(k.fan, driver->files[k.field], value);
}

static uint8_t read_sysfs_key(const SysfsKey& k, SmcRecord* reply)
{
    long value = -1;  // a reader that fails to say reads as unknown
    if (!read_value(k, &value))
        return kSmcRefused;
    if (is_speed(k)) {
        float rpm = float(value);
        memcpy(reply->bytes, &rpm, sizeof rpm);
    } else {
        reply->bytes[0] = uint8_t(value);
    }
    return 0;
}

// Targets go out as whole rpm; the drivers take no fractions or signs.
static uint8_t write_sysfs_key(const SysfsKey& k, const uint8_t* bytes)
{
    if (k.field == kFanMode)
        return driver->write_mode(k.fan, bytes[0]) ? 0 : kSmcRefused;
    if (k.field != kFanTarget)
        return kSmcRefused;
    float rpm;
    memcpy(&rpm, bytes, sizeof rpm);
    if (!(rpm >= 0 && rpm < 1e9f))
        return kSmcRefused;
    return driver->write_target(k.fan, std::lround(rpm)) ? 0 : kSmcRefused;
}

int smc_call(const SmcRecord* request, SmcRecord* reply)
{
    if (smc == 0)
        return kSmcNotOpen;
    SysfsKey k;
    if (!lookup(request->key, &k)) {
        reply->result = kSmcKeyNotFound;
        return 0;
    }
    uint32_t size = is_speed(k) ? 4 : 1;
    if (request->command == kSmcCmdKeyInfo) {
        reply->dataSize = size;
        reply->dataType = key_code(is_speed(k) ? "flt " : "ui8 ");
    } else if (request->dataSize != size) {
        reply->result = kSmcRefused;
    } else if (request->command == kSmcCmdRead) {
        reply->result = read_sysfs_key(k, reply);
    } else if (request->command == kSmcCmdWrite) {
        reply->result = write_sysfs_key(k, request->bytes);
    } else {
        reply->result = kSmcRefused;
    }
    return 0;
}

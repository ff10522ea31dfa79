// The simulated controller: two fans in an in-process table, so the whole
// helper runs and is tested on any machine. Opening it powers it up afresh.
// Actual speeds are computed from the clock when read: no threads.
#include <cmath>
#include <cstring>

#include "clock.h"
#include "smc.h"
#include "user_client.h"

uint32_t smc;

double (*simClock)() = monotonic_time;

constexpr int kSimFans = 2;
constexpr double kTimeConstant = 1.0;  // seconds; within 1% of the target after 5

struct SimFan {
    float actual, minimum, maximum, target;
    uint8_t mode;
    double since;  // when actual was last brought up to date
};

static const SimFan kPowerOn[kSimFans] = {
    {1200, 1200, 6000, 1200, 0, 0},
    {1300, 1300, 6500, 1300, 0, 0},
};
static SimFan fans[kSimFans];
static uint8_t testSwitch;

enum Field { kNone, kFNum, kFtst, kAc, kMn, kMx, kTg, kMd };

struct SimKey {
    Field field;
    SimFan* fan;
};

static SimKey lookup(uint32_t key)
{
    if (key == key_code("FNum"))
        return {kFNum, nullptr};
    if (key == key_code("Ftst"))
        return {kFtst, nullptr};
    int n = int(key >> 16 & 0xFF) - '0';
    if (key >> 24 != 'F' || n < 0 || n >= kSimFans)
        return {kNone, nullptr};
    static const struct {
        char name[3];
        Field field;
    } letters[] = {
        {"Ac", kAc},
        {"Mn", kMn},
        {"Mx", kMx},
        {"Tg", kTg},
        {"Md", kMd},
    };
    for (const auto& l : letters)
        if ((key & 0xFFFF) == uint32_t(l.name[0] << 8 | l.name[1]))
            return {l.field, &fans[n]};
    return {kNone, nullptr};
}

static bool is_speed(Field f)
{
    return f == kAc || f == kMn || f == kMx || f == kTg;
}

// While its mode is 0 the controller runs the fan at its minimum.
static float goal(const SimFan* f)
{
    return f->mode == 0 ? f->minimum : f->target;
}

static void advance(SimFan* f)
{
    double now = simClock();
    float g = goal(f);
    f->actual = g + (f->actual - g) * float(std::exp(-(now - f->since) / kTimeConstant));
    f->since = now;
}

static float value_of(SimKey k)
{
    switch (k.field) {
    case kFNum: return kSimFans;
    case kFtst: return testSwitch;
    case kAc: advance(k.fan); return k.fan->actual;
    case kMn: return k.fan->minimum;
    case kMx: return k.fan->maximum;
    case kTg: return goal(k.fan);
    case kMd: return k.fan->mode;
    case kNone: break;
    }
    return 0;
}

static void read_sim_key(SimKey k, SmcRecord* reply)
{
    float v = value_of(k);
    if (is_speed(k.field))
        memcpy(reply->bytes, &v, sizeof v);
    else
        reply->bytes[0] = uint8_t(v);
}

// Only the switches and the target are writable.
static uint8_t write_sim_key(SimKey k, const uint8_t* bytes)
{
    if (k.field == kFtst) {
        testSwitch = bytes[0];
        return 0;
    }
    if (k.field != kMd && k.field != kTg)
        return kSmcRefused;
    advance(k.fan);  // the speed so far followed the old goal
    if (k.field == kMd)
        k.fan->mode = bytes[0];
    else
        memcpy(&k.fan->target, bytes, sizeof k.fan->target);
    return 0;
}

bool smc_open()
{
    if (smc != 0)
        return true;
    memcpy(fans, kPowerOn, sizeof fans);
    double now = simClock();
    for (SimFan& f : fans)
        f.since = now;
    testSwitch = 0;
    smc = 1;
    return true;
}

// Each process has a controller of its own.
bool smc_claim()
{
    return true;
}

int smc_call(const SmcRecord* request, SmcRecord* reply)
{
    if (smc == 0)
        return kSmcNotOpen;
    SimKey k = lookup(request->key);
    if (k.field == kNone) {
        reply->result = kSmcKeyNotFound;
        return 0;
    }
    uint32_t size = is_speed(k.field) ? 4 : 1;
    if (request->command == kSmcCmdKeyInfo) {
        reply->dataSize = size;
        reply->dataType = key_code(is_speed(k.field) ? "flt " : "ui8 ");
    } else if (request->dataSize != size) {
        reply->result = kSmcRefused;
    } else if (request->command == kSmcCmdRead) {
        read_sim_key(k, reply);
    } else if (request->command == kSmcCmdWrite) {
        reply->result = write_sim_key(k, request->bytes);
    } else {
        reply->result = kSmcRefused;
    }
    return 0;
}

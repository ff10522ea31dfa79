// Fan semantics over the SMC keys. Nothing is cached: every status and every
// forcing asks the controller afresh.
#include "fan_control.h"

#include <cstdio>
#include <cstring>

#include "smc.h"

int32_t fanCount;
int32_t forced;
bool haveOriginal;
int32_t originalMode[kMaxFans];

// "F<n><a><b>" into a five-byte buffer; n is a single digit (at most 8 fans).
static void fan_key(char* key, int n, char a, char b)
{
    key[0] = 'F';
    key[1] = char('0' + n);
    key[2] = a;
    key[3] = b;
    key[4] = '\0';
}

static float read_fan(int n, char a, char b)
{
    char key[5];
    fan_key(key, n, a, b);
    return read_float(key);
}

static int write_fan_mode(int n, uint8_t mode)
{
    char key[5];
    fan_key(key, n, 'M', 'd');
    return write_key(key, &mode, 1);
}

// Writes the single byte to "Ftst" where the controller has that switch.
static void set_test_switch(uint8_t on)
{
    if (smc_key_info("Ftst").ok)
        write_key("Ftst", &on, 1);
}

void detect_fans()
{
    float count = read_float("FNum");
    if (count > 0 && count <= kMaxFans) {
        fanCount = int32_t(count + 0.5f);
        return;
    }
    // No plausible count: the fans present are those whose actual speed reads.
    int n = 0;
    while (n < kMaxFans && !(read_fan(n, 'A', 'c') < 0))
        n++;
    fanCount = n;
}

void status_line(char* buf)
{
    int pos = snprintf(buf, kStatusSize, "ok fans=%d forced=%d", fanCount, forced);
    for (int n = 0; n < fanCount && pos < kStatusSize; n++) {
        float ac = read_fan(n, 'A', 'c');
        float mn = read_fan(n, 'M', 'n');
        float mx = read_fan(n, 'M', 'x');
        float tg = read_fan(n, 'T', 'g');
        float md = read_fan(n, 'M', 'd');
        pos += snprintf(buf + pos, kStatusSize - pos, " F%d=%.0f,%.0f,%.0f,%.0f,%.0f", n, double(ac), double(mn),
            double(mx), double(tg), double(md));
    }
    // A text that filled the buffer stays cut, without its line end.
    if (pos < kStatusSize)
        snprintf(buf + pos, kStatusSize - pos, "\n");
}

static void capture_original_modes()
{
    for (int n = 0; n < fanCount; n++) {
        float mode = read_fan(n, 'M', 'd');
        // A failed read (-1) or a NaN stores 0; an absurd value must not overflow.
        originalMode[n] = mode >= 2147483648.0f ? INT32_MAX : mode > 0 ? int32_t(mode) : 0;
    }
    haveOriginal = true;
}

// The request held within the fan's own range; an unreadable or
// implausible bound imposes nothing.
static float clamp_target(float r, float mn, float mx)
{
    float lower = mn > 0 && mn > r ? mn : r;
    return lower > mx && mx > mn ? mx : lower;
}

// Quarter-rpm fixed point, most significant byte first. A target beyond the
// 16-bit range saturates rather than wrapping into a slow speed.
static void encode_fpe2(float target, uint8_t* out)
{
    float quarters = target * 4;
    uint16_t raw = quarters >= 65535.0f ? 0xFFFF : quarters > 0 ? uint16_t(quarters) : 0;
    out[0] = uint8_t(raw >> 8);
    out[1] = uint8_t(raw);
}

// Writes the target in the target key's own type.
static bool write_target(int n, float target)
{
    char key[5];
    fan_key(key, n, 'T', 'g');
    SmcKeyInfo info = smc_key_info(key);
    if (!info.ok)
        return false;
    uint8_t bytes[4];
    if (info.type == key_code("fpe2")) {
        encode_fpe2(target, bytes);
        return write_key(key, bytes, 2) == 0;
    }
    if (info.type == key_code("flt ")) {
        memcpy(bytes, &target, sizeof target);
        return write_key(key, bytes, 4) == 0;
    }
    return false;
}

bool force_all_fans(float speed)
{
    if (!haveOriginal)
        capture_original_modes();
    set_test_switch(1);
    if (fanCount < 1) {
        forced = 1;
        return true;
    }
    int failures = 0;
    for (int n = 0; n < fanCount; n++) {
        float mn = read_fan(n, 'M', 'n');
        float mx = read_fan(n, 'M', 'x');
        float target = clamp_target(speed, mn, mx);
        if (write_fan_mode(n, 1) != 0)
            failures++;
        if (!write_target(n, target))
            failures++;
    }
    forced = failures == 0;
    if (failures != 0) {
        restore_auto();
        return false;
    }
    return true;
}

void restore_auto()
{
    for (int n = 0; n < fanCount; n++)
        write_fan_mode(n, haveOriginal ? uint8_t(originalMode[n]) : 0);
    set_test_switch(0);
    forced = 0;
}

// A helper killed while it held the fans leaves them in the forced mode 1,
// and the test switch on. A mode that cannot be read may be that too; any
// other is the machine's own. Left so, the first forcing would capture the
// forced mode as the original one.
static bool left_forced()
{
    if (read_float("Ftst") > 0)
        return true;
    for (int n = 0; n < fanCount; n++) {
        float mode = read_fan(n, 'M', 'd');
        if (mode == 1 || mode < 0)
            return true;
    }
    return false;
}

void restore_stale_forcing()
{
    if (left_forced())
        restore_auto();
}

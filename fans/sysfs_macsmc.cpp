// Apple Silicon Macs: the kernel's macsmc_hwmon driver, a hwmon device. It has
// no mode file: a speed written to fanN_target puts the fan under manual
// control and 0 hands it back, so the mode is kept here. fanN_target takes
// writes only when the module's fan_control option is on.
//
// Until this helper sets a fan's mode it cannot know it: fanN_target reads
// the current setpoint, in which a speed forced by a helper that was killed
// looks like the machine's own. A setpoint of 0 is the machine's (a forced
// one never is); any other reads as a mode that cannot be read (-1): the
// start of serving then hands the fan back, and a capture stores 0, never 1.
#include <cstring>

#include "sysfs_driver.h"
#include "sysfs_files.h"
#include "user_client.h"

static signed char mode[10];  // by the fan's digit in its keys: 1 forced, 0 handed back, -1 unknown

static bool find_macsmc()
{
    memset(mode, -1, sizeof mode);
    return find_hwmon("macsmc_hwmon", nullptr);
}

static bool read_mode(int n, long* m)
{
    long target;
    if (mode[n] < 0 && read_fan_number(n, "fan%d_target", &target) && target == 0)
        *m = 0;
    else
        *m = mode[n];
    return *m >= 0;
}

// Mode 0 always writes 0, so a fan is handed back even after a failed forcing;
// a refused hand-back leaves the mode unknown.
static bool write_mode(int n, long m)
{
    bool ok = m != 0 || write_fan_number(n, "fan%d_target", 0);
    mode[n] = m != 0 ? 1 : ok ? 0 : -1;
    return ok;
}

// Only a forced fan takes a target, never 0 (that would hand it back), and
// only within its own range: we do not count on every kernel to check.
static bool write_target(int n, long rpm)
{
    long min, max;
    if (mode[n] != 1 || !read_fan_number(n, "fan%d_min", &min) || !read_fan_number(n, "fan%d_max", &max))
        return false;
    return rpm > 0 && rpm >= min && rpm <= max && write_fan_number(n, "fan%d_target", rpm);
}

const SysfsDriver macsmcDriver = {
    find_macsmc,
    {"fan%d_input", "fan%d_min", "fan%d_max", "fan%d_target", "fan%d_target"},
    read_mode,
    write_mode,
    write_target,
};

// Intel Macs: the kernel's applesmc driver. It is found through the hwmon
// class wherever its device sits (a platform device on older Macs, the ACPI
// device APP0001:00 on those with the T2 chip), else at the platform device's
// old place. Its files come in two namings, told apart by the files present:
// - its own, on the device: fanN_output, and fanN_manual, one bit of a key
//   all fans share, which the driver reads and rewrites for each write;
// - the standard hwmon interface, in the monitor's folder: fanN_target, and
//   pwmN_enable, 1 manual and 2 automatic.
// A folder with neither is not a controller. Speeds read back in whole rpm.
#include "sysfs_driver.h"
#include "sysfs_files.h"
#include "user_client.h"

const char* sysfsRoot = "/sys/devices/platform/applesmc.768";

static bool find_own_naming()
{
    return find_hwmon("applesmc", "fan%d_manual") || (set_fan_dir(sysfsRoot) && has_fan_file(0, "fan%d_manual"));
}

static bool read_manual(int n, long* mode)
{
    return read_fan_number(n, "fan%d_manual", mode);
}

static bool write_manual(int n, long mode)
{
    return write_fan_number(n, "fan%d_manual", mode);
}

static bool write_output(int n, long rpm)
{
    return write_fan_number(n, "fan%d_output", rpm);
}

const SysfsDriver applesmcDriver = {
    find_own_naming,
    {"fan%d_input", "fan%d_min", "fan%d_max", "fan%d_output", "fan%d_manual"},
    read_manual,
    write_manual,
    write_output,
};

static bool find_standard_naming()
{
    return find_hwmon("applesmc", "pwm%d_enable");
}

// Any other value is no mode of ours (0 is full speed, beyond 2 other
// automatic modes): it reads as unknown.
static bool read_enable(int n, long* mode)
{
    long enable = 0;
    if (!read_fan_number(n, "pwm%d_enable", &enable) || (enable != 1 && enable != 2))
        return false;
    *mode = enable == 1 ? 1 : 0;
    return true;
}

static bool write_enable(int n, long mode)
{
    return write_fan_number(n, "pwm%d_enable", mode != 0 ? 1 : 2);
}

static bool write_fan_target(int n, long rpm)
{
    return write_fan_number(n, "fan%d_target", rpm);
}

const SysfsDriver applesmcHwmonDriver = {
    find_standard_naming,
    {"fan%d_input", "fan%d_min", "fan%d_max", "fan%d_target", "pwm%d_enable"},
    read_enable,
    write_enable,
    write_fan_target,
};

// Intel Macs: the kernel's applesmc driver. Every fan file sits on the
// platform device itself; its hwmon/ folder holds none. Speeds read back in
// whole rpm, and fanN_manual is one bit of a key all fans share, which the
// driver reads and rewrites for each write.
#include <unistd.h>

#include "sysfs_driver.h"
#include "sysfs_files.h"
#include "user_client.h"

const char* sysfsRoot = "/sys/devices/platform/applesmc.768";

static bool find_applesmc()
{
    return access(sysfsRoot, F_OK) == 0 && set_fan_dir(sysfsRoot);
}

static bool read_manual(int n, long* mode)
{
    return read_fan_number(n, "manual", mode);
}

static bool write_manual(int n, long mode)
{
    return write_fan_number(n, "manual", mode);
}

static bool write_output(int n, long rpm)
{
    return write_fan_number(n, "output", rpm);
}

const SysfsDriver applesmcDriver = {
    find_applesmc,
    {"input", "min", "max", "output", "manual"},
    read_manual,
    write_manual,
    write_output,
};

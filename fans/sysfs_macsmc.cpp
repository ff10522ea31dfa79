// Apple Silicon Macs: the kernel's macsmc_hwmon driver, a hwmon device. It has
// no mode file: a speed written to fanN_target puts the fan under manual
// control and 0 hands it back, so the mode is kept here. fanN_target takes
// writes only when the module's fan_control option is on.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstring>

#include "sysfs_driver.h"
#include "sysfs_files.h"
#include "user_client.h"

const char* hwmonRoot = "/sys/class/hwmon";

static bool manual[10];  // by the fan's digit in its keys

static bool is_macsmc(const char* dir)
{
    char path[PATH_MAX];
    char name[32];
    return path_in(dir, "name", path) && read_file(path, name, sizeof name) > 0 && strcmp(name, "macsmc_hwmon\n") == 0;
}

static bool find_in(int fd)
{
    alignas(dirent64) char entries[4096];
    ssize_t n;
    while ((n = getdents64(fd, entries, sizeof entries)) > 0) {
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const dirent64*>(entries + at);
            char dir[PATH_MAX];
            if (e->d_name[0] != '.' && path_in(hwmonRoot, e->d_name, dir) && is_macsmc(dir))
                return set_fan_dir(dir);
            at += e->d_reclen;
        }
    }
    return false;
}

static bool find_macsmc()
{
    int fd = open(hwmonRoot, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool found = find_in(fd);
    close(fd);
    memset(manual, 0, sizeof manual);  // the machine runs every fan until we force it
    return found;
}

static bool read_mode(int n, long* mode)
{
    *mode = manual[n];
    return true;
}

// Mode 0 always writes 0, so a fan is handed back even after a failed forcing.
static bool write_mode(int n, long mode)
{
    manual[n] = mode != 0;
    return manual[n] || write_fan_number(n, "target", 0);
}

// Only a forced fan takes a target, never 0 (that would hand it back), and
// only within its own range: we do not count on every kernel to check.
static bool write_target(int n, long rpm)
{
    long min, max;
    if (!manual[n] || !read_fan_number(n, "min", &min) || !read_fan_number(n, "max", &max))
        return false;
    return rpm > 0 && rpm >= min && rpm <= max && write_fan_number(n, "target", rpm);
}

const SysfsDriver macsmcDriver = {
    find_macsmc,
    {"input", "min", "max", "target", "target"},
    read_mode,
    write_mode,
    write_target,
};

// The kernel's hwmon class lists every hardware monitor wherever its device
// sits, so a driver is found by what it says it is, not by a path it once had.
// As lm-sensors does, a monitor is known by its folder's name file, or, where
// the folder has none (a driver that registers without one, as applesmc long
// has), by its device's.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstring>

#include "sysfs_driver.h"
#include "sysfs_files.h"
#include "user_client.h"

const char* hwmonRoot = "/sys/class/hwmon";

static bool runs(const char* dir, const char* driver)
{
    char path[PATH_MAX];
    char name[32] = "";  // nothing read is no name
    if (!path_in(dir, "name", path) || (access(path, F_OK) != 0 && !path_in(dir, "device/name", path)))
        return false;
    size_t length = strlen(driver);
    return read_file(path, name, sizeof name) && strncmp(name, driver, length) == 0 && strcmp(name + length, "\n") == 0;
}

// The files sit in the monitor's own folder (the standard interface) or on
// its device (applesmc's own naming).
static bool holds(const char* dir, const char* pattern)
{
    char device[PATH_MAX];
    if (pattern == nullptr)
        return set_fan_dir(dir);
    return (set_fan_dir(dir) && has_fan_file(0, pattern)) ||
        (path_in(dir, "device", device) && set_fan_dir(device) && has_fan_file(0, pattern));
}

static bool find_in(int fd, const char* driver, const char* pattern)
{
    alignas(dirent64) char entries[4096] = {};
    ssize_t n;
    while ((n = getdents64(fd, entries, sizeof entries)) > 0) {
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const dirent64*>(entries + at);
            char dir[PATH_MAX];
            if (e->d_name[0] != '.' && path_in(hwmonRoot, e->d_name, dir) && runs(dir, driver) && holds(dir, pattern))
                return true;
            at += e->d_reclen;
        }
    }
    return false;
}

bool find_hwmon(const char* driver, const char* pattern)
{
    int fd = open(hwmonRoot, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool found = find_in(fd, driver, pattern);
    close(fd);
    return found;
}

// Linux: answers the record protocol from the kernel's Apple SMC driver. Fan n
// is the driver's file index n+1; speeds are whole rpm in text files.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "smc.h"
#include "user_client.h"

uint32_t smc;
const char* sysfsRoot = "/sys/devices/platform/applesmc.768";

static char fanDir[PATH_MAX];  // where the fanN_* files are

static bool path_in(const char* dir, const char* name, char* path)
{
    return snprintf(path, PATH_MAX, "%s/%s", dir, name) < PATH_MAX;
}

static bool exists_in(const char* dir, const char* name)
{
    char path[PATH_MAX];
    return path_in(dir, name, path) && access(path, F_OK) == 0;
}

static bool set_fan_dir(const char* dir)
{
    return snprintf(fanDir, sizeof fanDir, "%s", dir) < int(sizeof fanDir);
}

// Newer kernels keep the fan files in hwmon/hwmon<k>/ below the device.
static bool find_hwmon_dir()
{
    char hwmon[PATH_MAX];
    if (!path_in(sysfsRoot, "hwmon", hwmon))
        return false;
    int fd = open(hwmon, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    alignas(dirent64) char entries[4096];
    bool found = false;
    ssize_t n;
    while (!found && (n = getdents64(fd, entries, sizeof entries)) > 0) {
        for (ssize_t at = 0; !found && at < n;) {
            const auto* e = reinterpret_cast<const dirent64*>(entries + at);
            char dir[PATH_MAX];
            if (strncmp(e->d_name, "hwmon", 5) == 0 && path_in(hwmon, e->d_name, dir))
                found = exists_in(dir, "fan1_input") && set_fan_dir(dir);
            at += e->d_reclen;
        }
    }
    close(fd);
    return found;
}

bool smc_open()
{
    if (smc != 0)
        return true;
    if (access(sysfsRoot, F_OK) != 0)
        return false;
    if (!find_hwmon_dir() && !set_fan_dir(sysfsRoot))
        return false;
    smc = 1;
    return true;
}

struct SysfsKey {
    bool fnum;
    bool speed;     // "flt " of 4 bytes, else "ui8 " of 1
    char file[32];  // the fan's file, for fan keys
};

static bool lookup(uint32_t key, SysfsKey* k)
{
    *k = {key == key_code("FNum"), false, ""};
    if (k->fnum)
        return true;
    int n = int(key >> 16 & 0xFF) - '0';
    if (key >> 24 != 'F' || n < 0 || n > 9)
        return false;
    static const struct { char letters[3]; const char* suffix; bool speed; } files[] = {
        {"Ac", "input", true}, {"Mn", "min", true}, {"Mx", "max", true},
        {"Tg", "output", true}, {"Md", "manual", false},
    };
    for (const auto& f : files) {
        if ((key & 0xFFFF) != uint32_t(f.letters[0] << 8 | f.letters[1]))
            continue;
        k->speed = f.speed;
        snprintf(k->file, sizeof k->file, "fan%d_%s", n + 1, f.suffix);
        return exists_in(fanDir, k->file);
    }
    return false;
}

static int count_fans()
{
    int n = 0;
    char name[32];
    while (n < UINT8_MAX && snprintf(name, sizeof name, "fan%d_input", n + 1) > 0 &&
           exists_in(fanDir, name))
        n++;
    return n;
}

static bool read_number(const char* file, long* value)
{
    char path[PATH_MAX];
    int fd = path_in(fanDir, file, path) ? open(path, O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0)
        return false;
    char text[32];
    ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    if (n <= 0)
        return false;
    text[n] = '\0';
    char* end;
    *value = strtol(text, &end, 10);
    return end != text;
}

static bool write_text(const char* file, const char* text)
{
    char path[PATH_MAX];
    int fd = path_in(fanDir, file, path) ? open(path, O_WRONLY | O_CLOEXEC) : -1;
    if (fd < 0)
        return false;
    size_t len = strlen(text);
    bool ok = write(fd, text, len) == ssize_t(len);
    return close(fd) == 0 && ok;
}

static uint8_t read_sysfs_key(const SysfsKey& k, SmcRecord* reply)
{
    long value = k.fnum ? count_fans() : 0;
    if (!k.fnum && !read_number(k.file, &value))
        return kSmcRefused;
    if (k.speed) {
        float rpm = float(value);
        memcpy(reply->bytes, &rpm, sizeof rpm);
    } else {
        reply->bytes[0] = uint8_t(value);
    }
    return 0;
}

// Speeds go out as whole rpm; the driver takes no fractions or signs.
static uint8_t write_sysfs_key(const SysfsKey& k, const uint8_t* bytes)
{
    if (k.fnum)
        return kSmcRefused;
    char text[32];
    if (k.speed) {
        float rpm;
        memcpy(&rpm, bytes, sizeof rpm);
        if (!(rpm >= 0 && rpm < 1e9f))
            return kSmcRefused;
        snprintf(text, sizeof text, "%.0f\n", double(rpm));
    } else {
        snprintf(text, sizeof text, "%u\n", unsigned(bytes[0]));
    }
    return write_text(k.file, text) ? 0 : kSmcRefused;
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
    uint32_t size = k.speed ? 4 : 1;
    if (request->command == kSmcCmdKeyInfo) {
        reply->dataSize = size;
        reply->dataType = key_code(k.speed ? "flt " : "ui8 ");
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

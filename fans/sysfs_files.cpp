// Fan files hold one whole number and a line end, both ways.
#include "sysfs_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// An empty file holds no value, as one that cannot be read.
bool read_file(const char* path, char* text, int size)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    ssize_t n = read(fd, text, size_t(size - 1));
    close(fd);
    if (n <= 0)
        return false;
    text[n] = '\0';
    return true;
}

// One write, as sysfs takes a value whole; the driver's refusal may come at
// the write or at the close.
static bool write_file(const char* path, const char* text)
{
    int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    size_t len = strlen(text);
    bool ok = write(fd, text, len) == ssize_t(len);
    return close(fd) == 0 && ok;
}

static char fanDir[PATH_MAX];

bool path_in(const char* dir, const char* name, char* path)
{
    return snprintf(path, PATH_MAX, "%s/%s", dir, name) < PATH_MAX;
}

bool set_fan_dir(const char* dir)
{
    return snprintf(fanDir, sizeof fanDir, "%s", dir) < int(sizeof fanDir);
}

// The driver's own folder needs nothing written, and every helper on the
// machine finds the same one. The descriptor that holds the lock stays open.
bool lock_fan_dir()
{
    int fd = open(fanDir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0)
        return true;
    if (fd >= 0)
        close(fd);
    return false;
}

// The pattern holds the fan's number, counted from 1: "fan%d_input".
static bool fan_path(int n, const char* pattern, char* path)
{
    int dir = snprintf(path, PATH_MAX, "%s/", fanDir);
    return dir < PATH_MAX && snprintf(path + dir, size_t(PATH_MAX - dir), pattern, n + 1) < PATH_MAX - dir;
}

bool has_fan_file(int n, const char* pattern)
{
    char path[PATH_MAX];
    return fan_path(n, pattern, path) && access(path, F_OK) == 0;
}

// The count travels in a one-byte key.
int count_fans()
{
    int n = 0;
    while (n < UINT8_MAX && has_fan_file(n, "fan%d_input"))
        n++;
    return n;
}

bool read_fan_number(int n, const char* pattern, long* value)
{
    char path[PATH_MAX];
    char text[32] = "";  // nothing read is no number
    if (!fan_path(n, pattern, path) || !read_file(path, text, sizeof text))
        return false;
    char* end;
    *value = strtol(text, &end, 10);
    return end != text;
}

bool write_fan_number(int n, const char* pattern, long value)
{
    char path[PATH_MAX];
    char text[32];
    snprintf(text, sizeof text, "%ld\n", value);
    return fan_path(n, pattern, path) && write_file(path, text);
}

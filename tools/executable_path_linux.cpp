#include "executable_path.h"

#include <limits.h>
#include <unistd.h>

bool executable_path(std::string& path)
{
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return false;
    path.assign(exe, n);
    return true;
}

#include "executable_path.h"

#include <mach-o/dyld.h>

#include <limits.h>
#include <stdint.h>
#include <stdlib.h>

// dyld gives the path the program was started by; resolved, so that a link
// to the host still finds the library beside the real file.
bool executable_path(std::string& path)
{
    char exe[PATH_MAX], resolved[PATH_MAX];
    uint32_t size = sizeof exe;
    if (_NSGetExecutablePath(exe, &size) != 0 || !realpath(exe, resolved))
        return false;
    path = resolved;
    return true;
}

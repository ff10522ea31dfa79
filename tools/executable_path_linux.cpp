#include "executable_path.h"

#include <filesystem>
#include <system_error>

bool executable_path(std::string& path)
{
    std::error_code error;
    path = std::filesystem::read_symlink("/proc/self/exe", error).string();
    return !error;
}

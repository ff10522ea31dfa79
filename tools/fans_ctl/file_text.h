// Small files read whole without iostreams, whose locale set-up alone would
// more than double what the follower keeps resident.
#pragma once

#include <optional>
#include <string>

// The file at path read to its end, or nothing with errno saying why.
std::optional<std::string> file_text(const char* path);

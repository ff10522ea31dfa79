// Small files read whole without iostreams, whose locale set-up alone would
// more than double what the follower keeps resident.
#pragma once

#include <string>

// Whether the file at path could be read to its end; text holds what was read.
bool file_text(const char* path, std::string& text);

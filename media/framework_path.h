// Where the media framework is loaded from.
#pragma once

#include <string>

// The framework's path, or the empty string when it cannot be told.
std::string framework_path();

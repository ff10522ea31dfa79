// The full path of the running executable, or false when it cannot be told.
#pragma once

#include <string>

bool executable_path(std::string& path);

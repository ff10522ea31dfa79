// A private session bus: a dbus-daemon on a socket in the test's own
// temporary folder, ended by pid with the object.
#pragma once

#include "child.h"

struct BusDaemon {
    explicit BusDaemon(const std::string& socketPath);
    ~BusDaemon();
    Child daemon;
};

std::string test_folder();
const std::string& test_bus_path();
std::string test_bus_address();

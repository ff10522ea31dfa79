// A private session bus for one test: a dbus-daemon on a socket path, killed
// by pid when the test ends.
#pragma once

#include <string>
#include <sys/types.h>

struct BusDaemon {
    explicit BusDaemon(const std::string& socketPath);
    ~BusDaemon();
    BusDaemon(const BusDaemon&) = delete;
    BusDaemon& operator=(const BusDaemon&) = delete;

    void stop();
    pid_t pid = -1;
};

// The bus address every test process uses: a socket in its own temporary
// folder, where each test starts and stops its own daemon.
const std::string& test_bus_path();
std::string test_bus_address();
std::string test_folder();

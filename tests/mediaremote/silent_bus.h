// A socket where the session bus would be, that takes a connection and never
// answers it: a bus that leaves its client waiting inside its greeting.
#pragma once

#include <chrono>
#include <string>

struct SilentBus {
    explicit SilentBus(const std::string& socketPath);
    ~SilentBus();
    SilentBus(const SilentBus&) = delete;
    SilentBus& operator=(const SilentBus&) = delete;
    // True once a client has connected and begun its greeting.
    bool await_greeting(std::chrono::milliseconds limit = std::chrono::seconds(10));

    std::string path;
    int listener = -1, client = -1;
};

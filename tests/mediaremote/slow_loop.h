// An event loop for a connection that lets each message it receives wait a
// while before handling it: a peer that answers slowly, while other threads
// of it still send at once.
#pragma once

#include <sdbus-c++/sdbus-c++.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

struct SlowLoop {
    SlowLoop(sdbus::IConnection& connection, std::chrono::milliseconds delay);
    ~SlowLoop();

    sdbus::IConnection& connection_;
    std::mutex lock_;
    std::condition_variable stop_;
    bool stopping_ = false;
    std::thread thread_;
};

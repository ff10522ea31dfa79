// Doing one thing again and again on a thread of its own, at a steady pace,
// until the object goes.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

struct Repeater {
    Repeater(std::function<void()> action, std::chrono::milliseconds interval);
    ~Repeater();
    int runs();  // how often the action has been done

    std::mutex lock_;
    std::condition_variable stop_;
    bool stopping_ = false;
    int runs_ = 0;
    std::thread thread_;
};

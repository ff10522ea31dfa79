#include "repeater.h"

Repeater::Repeater(std::function<void()> action, std::chrono::milliseconds interval)
    : thread_([this, action, interval] {
        std::unique_lock guard(lock_);
        while (!stop_.wait_for(guard, interval, [this] { return stopping_; })) {
            guard.unlock();
            action();
            guard.lock();
            ++runs_;
        }
    })
{
}

Repeater::~Repeater()
{
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
    }
    stop_.notify_one();
    thread_.join();
}

int Repeater::runs()
{
    std::lock_guard guard(lock_);
    return runs_;
}

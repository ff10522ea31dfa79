// The bus thread: connect (and reconnect when the bus goes away), then poll
// the connection and a wake-up descriptor; jobs run between messages.
#include "bus.h"

#include "watch.h"

#include <sdbus-c++/sdbus-c++.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;

static constexpr auto retryInterval = std::chrono::milliseconds(500);

// Never destroyed: the host may exit from another thread while this one runs.
static std::mutex jobsLock;
static std::vector<BusJob>& jobs = *new std::vector<BusJob>;
static int wakeFd = -1;
static std::once_flag started;

static sdbus::IConnection* connection;  // bus thread only
static Clock::time_point nextAttempt;   // bus thread only

sdbus::IConnection* bus_connection()
{
    return connection;
}

static void disconnect()
{
    delete connection;
    connection = nullptr;
    nextAttempt = Clock::now() + retryInterval;
    watch_detach();
}

static void try_connect()
{
    if (Clock::now() < nextAttempt)
        return;
    try {
        connection = sdbus::createSessionBusConnection().release();
        watch_attach(*connection);
    } catch (const sdbus::Error&) {
        if (connection)
            disconnect();
        nextAttempt = Clock::now() + retryInterval;
    }
}

static void run_jobs()
{
    std::vector<BusJob> batch;
    {
        std::lock_guard lock(jobsLock);
        batch.swap(jobs);
    }
    for (auto& job : batch)
        job();
}

// Dispatches everything already received; a failure means the bus is gone.
static void process_messages()
{
    try {
        while (connection && connection->processPendingRequest()) {
        }
    } catch (const sdbus::Error&) {
        disconnect();
    }
}

static int poll_timeout()
{
    if (!connection) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(nextAttempt - Clock::now());
        return left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }
    return connection->getEventLoopPollData().getPollTimeout();
}

static void wait_for_work()
{
    pollfd fds[2] = {{wakeFd, POLLIN, 0}, {-1, 0, 0}};
    if (connection) {
        auto data = connection->getEventLoopPollData();
        fds[1] = {data.fd, data.events, 0};
    }
    if (poll(fds, 2, poll_timeout()) <= 0)
        return;
    if (fds[0].revents & POLLIN) {
        eventfd_t count;
        eventfd_read(wakeFd, &count);
    }
    if (fds[1].revents & (POLLHUP | POLLERR)) {
        process_messages();
        if (connection)
            disconnect();
    }
}

static void bus_loop()
{
    for (;;) {
        if (!connection)
            try_connect();
        run_jobs();
        process_messages();
        try {
            wait_for_work();
        } catch (const sdbus::Error&) {
            disconnect();
        }
    }
}

void bus_start()
{
    std::call_once(started, [] {
        wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        std::thread(bus_loop).detach();
    });
}

void bus_run(BusJob job)
{
    bus_start();
    {
        std::lock_guard lock(jobsLock);
        jobs.push_back(std::move(job));
    }
    eventfd_write(wakeFd, 1);
}

// The bus thread: connect (and reconnect when the bus goes away), then poll
// the connection and a wake-up descriptor; jobs run between messages.
#include "bus.h"

#include "watch.h"

#include <sdbus-c++/sdbus-c++.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
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

// exit() runs the D-Bus libraries' static destructors, possibly from another
// thread while this one works: the bus thread holds busyLock except while it
// sleeps in poll, and an exit handler takes the lock for good before those
// destructors run.
static std::mutex& busyLock = *new std::mutex;
static std::atomic<std::thread::id> busThread;

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

static void wait_for_work(std::unique_lock<std::mutex>& busy)
{
    pollfd fds[2] = {{wakeFd, POLLIN, 0}, {-1, 0, 0}};
    if (connection) {
        auto data = connection->getEventLoopPollData();
        fds[1] = {data.fd, data.events, 0};
    }
    int timeout = poll_timeout();
    busy.unlock();
    int ready = poll(fds, 2, timeout);
    busy.lock();
    if (ready <= 0)
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
    std::unique_lock busy(busyLock);
    for (;;) {
        if (!connection)
            try_connect();
        run_jobs();
        process_messages();
        try {
            wait_for_work(busy);
        } catch (const sdbus::Error&) {
            disconnect();
        }
    }
}

static void quiesce_at_exit()
{
    if (std::this_thread::get_id() != busThread)
        busyLock.lock();  // never released: the process is ending
}

void bus_start()
{
    std::call_once(started, [] {
        wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        // Make the library build its lazily made statics now, so that the
        // exit handler registered after them runs before their destructors.
        sdbus::Variant warmUp{std::int32_t(0)};
        std::atexit(quiesce_at_exit);
        std::thread thread(bus_loop);
        busThread = thread.get_id();
        thread.detach();
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

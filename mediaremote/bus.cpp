// The bus thread: connect (and reconnect when the bus goes away), then poll
// the connection and a wake-up descriptor; jobs run between messages. It
// never waits on a peer: every call it makes is asynchronous (calls.h).
#include "bus.h"

#include "calls.h"
#include "commands.h"
#include "watch.h"

#include <sdbus-c++/sdbus-c++.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

static constexpr auto retryInterval = 500ms;
static constexpr int messagesPerTurn = 64;  // then the jobs' turn, however much the bus sends
// At exit: how long commands already read may take to leave the process, and
// then the bus thread to leave the D-Bus libraries.
static constexpr auto handOverLimit = 1s;
static constexpr auto quiesceLimit = 500ms;
// Commands not yet done before their caller waits: far more than a burst of
// real ones, and little memory (the calls out at once are fewer, commands.cpp).
// A working bus makes room within the call time-out, answered or not; one
// that takes nothing for twice that holds a caller no longer.
static constexpr int commandLimit = 256;
static constexpr auto commandWait = 2 * callTimeout;

// Never destroyed: the host may exit from another thread while this one runs.
static std::mutex& jobsLock = *new std::mutex;
static std::condition_variable& handedOver = *new std::condition_variable;
static std::condition_variable& commandRoom = *new std::condition_variable;
static std::vector<BusJob>& jobs = *new std::vector<BusJob>;
// Counts of jobs, under jobsLock: given to the thread, taken by it, and taken
// with everything they asked of the bus sent.
static std::uint64_t submitted, taken, sent;
static int commandsOpen;  // given and not yet done, under jobsLock
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

static void disconnect()
{
    watch_detach();
    calls_detach();
    delete connection;
    connection = nullptr;
    nextAttempt = Clock::now() + retryInterval;
}

// The time-out bounds the calls that wait: those to the bus itself at attach.
static void try_connect()
{
    if (Clock::now() < nextAttempt)
        return;
    try {
        connection = sdbus::createSessionBusConnection().release();
        connection->setMethodCallTimeout(callTimeout);
        calls_attach(*connection);
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
        taken = submitted;
    }
    for (auto& job : batch)
        job();
}

// Dispatches what has arrived, a bounded number of messages at a time; true
// when more may be waiting. A failure means the bus is gone.
static bool process_messages()
{
    try {
        for (int n = 0; n < messagesPerTurn; ++n)
            if (!connection || !connection->processPendingRequest())
                return false;
        return true;
    } catch (const sdbus::Error&) {
        disconnect();
        return false;
    }
}

static bool output_waiting()
{
    try {
        return connection && (connection->getEventLoopPollData().events & POLLOUT);
    } catch (const sdbus::Error&) {
        return false;  // a broken bus sends nothing more
    }
}

static void note_hand_over()
{
    if (commands_pending() || output_waiting())
        return;
    std::lock_guard lock(jobsLock);
    sent = taken;
    handedOver.notify_all();
}

static int poll_timeout()
{
    if (!connection) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(nextAttempt - Clock::now());
        return left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }
    return connection->getEventLoopPollData().getPollTimeout();
}

static void wait_for_work(std::unique_lock<std::mutex>& busy, bool more)
{
    pollfd fds[2] = {{wakeFd, POLLIN, 0}, {-1, 0, 0}};
    if (connection) {
        auto data = connection->getEventLoopPollData();
        fds[1] = {data.fd, data.events, 0};
    }
    int timeout = more ? 0 : poll_timeout();
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
        bool more = process_messages();
        calls_sweep();
        note_hand_over();
        try {
            wait_for_work(busy, more);
        } catch (const sdbus::Error&) {
            disconnect();
        }
    }
}

// A command read just before the end of input is sent before the process
// ends, unless the bus takes longer than the limit to take it.
static void wait_for_hand_over(Clock::time_point deadline)
{
    std::unique_lock lock(jobsLock);
    std::uint64_t given = submitted;
    handedOver.wait_until(lock, deadline, [given] { return sent >= given; });
}

// A bus thread held inside the D-Bus libraries (by a bus that never answers
// it) must not meet their teardown: then the process ends without it. The
// lock is tried rather than timed, which the thread sanitizer cannot follow.
static void quiesce_at_exit()
{
    if (std::this_thread::get_id() == busThread)
        return;
    auto deadline = Clock::now() + handOverLimit;
    wait_for_hand_over(deadline);
    while (!busyLock.try_lock()) {  // never released: the process is ending
        if (Clock::now() >= deadline + quiesceLimit)
            _exit(0);
        std::this_thread::sleep_for(1ms);
    }
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

static void submit(BusJob job, bool command)
{
    bus_start();
    {
        std::unique_lock lock(jobsLock);
        if (command) {
            commandRoom.wait_for(lock, commandWait, [] { return commandsOpen < commandLimit; });
            ++commandsOpen;
        }
        jobs.push_back(std::move(job));
        ++submitted;
    }
    eventfd_write(wakeFd, 1);
}

void bus_run(BusJob job)
{
    submit(std::move(job), false);
}

void bus_run_command(BusJob job)
{
    submit(std::move(job), true);
}

void bus_command_done()
{
    std::lock_guard lock(jobsLock);
    --commandsOpen;
    commandRoom.notify_all();
}

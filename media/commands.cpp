#include "commands.h"

#include "framework.h"
#include "snapshot.h"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

// A queue that runs none of the reader's blocks for this long is held up by
// an owner that stopped reading the stream (emit waits for it).
static constexpr auto stuckAfter = std::chrono::seconds(2);

// Never destroyed: the queue may still run while the reader thread exits.
static std::mutex& roomLock = *new std::mutex;
static std::condition_variable& roomMade = *new std::condition_variable;
static int handedOn;  // the reader's blocks not yet run, under roomLock
static bool stuck;    // under roomLock

static void trim_line_end(char* line)
{
    std::size_t length = std::strlen(line);
    while (length > 0 && (line[length - 1] == '\r' || line[length - 1] == '\n'))
        line[--length] = '\0';
}

template <void (*work)()> static void run_handed_on()
{
    work();
    std::lock_guard lock(roomLock);
    --handedOn;
    roomMade.notify_one();
}

// The reader waits while the queue is far behind, so a flood holds little and
// the timer's refresh never queues behind much. While the queue is stuck the
// commands go on, and a request that finds no room is left out: the blocks
// still queued make a record after it once the stream moves again.
template <void (*work)()> static void hand_on()
{
    std::unique_lock lock(roomLock);
    auto room = [] { return handedOn < handedOnLimit; };
    stuck = stuck ? !room() : !roomMade.wait_for(lock, stuckAfter, room);
    if (stuck)
        return;
    ++handedOn;
    lock.unlock();
    platform::queue_async(queue, run_handed_on<work>);
}

// The reader thread has no pool of its own, and it lives as long as the
// process: each framework call gets one, so its temporaries go with it.
static bool send_transport(const char* line)
{
    static const struct {
        const char* word;
        std::uint32_t code;
    } transport[] = {
        {"toggle", kMRTogglePlayPause},
        {"play", kMRPlay},
        {"pause", kMRPause},
        {"next", kMRNextTrack},
        {"previous", kMRPreviousTrack},
    };
    for (const auto& command : transport)
        if (std::strcmp(line, command.word) == 0) {
            void* pool = platform::autorelease_pool_push();
            sendCommand(command.code, nullptr);
            platform::autorelease_pool_pop(pool);
            return true;
        }
    return false;
}

static void act(const char* line)
{
    if (send_transport(line))
        return;
    if (setElapsed && std::strncmp(line, "seek ", 5) == 0) {
        void* pool = platform::autorelease_pool_push();
        setElapsed(std::atof(line + 5));
        platform::autorelease_pool_pop(pool);
        return;
    }
    if (std::strcmp(line, "refresh") == 0)
        hand_on<refresh>();
}

void run_command(char* line)
{
    trim_line_end(line);
    act(line);
    hand_on<schedule>();
}

// exit flushes standard output without taking its lock, so a record that
// another thread is writing could go out twice: wait for it first. A reader
// that stopped draining the stream must not keep the process alive, though:
// then end without flushing (every record is flushed as it is written).
[[noreturn]] static void end_process()
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (ftrylockfile(stdout) != 0) {
        if (std::chrono::steady_clock::now() >= deadline)
            _exit(0);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::exit(0);
}

void readCommands()
{
    char line[256];
    while (std::fgets(line, sizeof line, stdin))
        run_command(line);
    end_process();
}

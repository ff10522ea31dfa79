#include "commands.h"

#include "framework.h"
#include "snapshot.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

static void trim_line_end(char* line)
{
    std::size_t length = std::strlen(line);
    while (length > 0 && (line[length - 1] == '\r' || line[length - 1] == '\n'))
        line[--length] = '\0';
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
        platform::queue_async(queue, refresh);
}

void run_command(char* line)
{
    trim_line_end(line);
    act(line);
    platform::queue_async(queue, schedule);
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

#include "commands.h"

#include "bridge.h"
#include "snapshot.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

static void trim_line_end(char* line)
{
    std::size_t length = std::strlen(line);
    while (length > 0 && (line[length - 1] == '\r' || line[length - 1] == '\n'))
        line[--length] = '\0';
}

static bool send_transport(const char* line)
{
    static const struct {
        const char* word;
        std::uint32_t code;
    } transport[] = {
        {"toggle", kMRTogglePlayPause}, {"play", kMRPlay},          {"pause", kMRPause},
        {"next", kMRNextTrack},         {"previous", kMRPreviousTrack},
    };
    for (const auto& command : transport)
        if (std::strcmp(line, command.word) == 0) {
            sendCommand(command.code, nullptr);
            return true;
        }
    return false;
}

static void act(const char* line)
{
    if (send_transport(line))
        return;
    if (setElapsed && std::strncmp(line, "seek ", 5) == 0) {
        setElapsed(std::atof(line + 5));
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

void readCommands()
{
    char line[256];
    while (std::fgets(line, sizeof line, stdin))
        run_command(line);
    // exit flushes standard output without taking its lock: holding it keeps
    // a record that another thread is writing from going out twice.
    flockfile(stdout);
    std::exit(0);
}

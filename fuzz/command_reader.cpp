// The bridge's command reader over arbitrary input: the input is standard
// input, read in lines of at most 255 bytes as the reader thread reads it,
// each line carried out against a fake framework and the real queue.
#include "commands.h"
#include "framework.h"

#include <cstdio>
#include <cstdlib>
#include <future>

static int actions;

static bool fake_send_command(std::uint32_t command, const void*)
{
    if (command != kMRPlay && command != kMRPause && command != kMRTogglePlayPause && command != kMRNextTrack &&
        command != kMRPreviousTrack)
        abort();
    actions++;
    return true;
}

static void fake_set_elapsed(double)
{
    actions++;
}

// Refreshes go no further than the first question: nobody answers.
static void silent_pid(const platform::Queue&, const MRPIDCallback&) { }

// Waits until the queue has run what this input handed it: lines come far
// faster here than from a pipe, and unrun work would pile up across inputs.
static void drain_queue()
{
    std::promise<void> done;
    platform::queue_async(queue, [&done] { done.set_value(); });
    done.get_future().wait();
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    sendCommand = fake_send_command;
    setElapsed = fake_set_elapsed;
    getPID = silent_pid;
    queue = platform::queue_create("com.tolvane.media.fuzz");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FILE* input = fmemopen(const_cast<std::uint8_t*>(data), size, "r");
    if (!input)
        return 0;  // fmemopen refuses an empty buffer
    char line[256];
    while (std::fgets(line, sizeof line, input)) {
        actions = 0;
        run_command(line);
        if (actions > 1)
            abort();
    }
    fclose(input);
    drain_queue();
    return 0;
}

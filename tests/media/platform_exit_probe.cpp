// Shaped like the bridge: a busy queue, a fast timer, posts from threads, the run loop; a detached thread exits(0).
#include "platform/platform.h"

#include <atomic>
#include <cstdlib>
#include <thread>

using namespace std::chrono_literals;

static platform::Queue& queue = *new platform::Queue;
static std::atomic<int> spins, ticks, notes;

static void spin()
{
    spins++;
    platform::notification_post("probe.spin");
    platform::queue_async(queue, spin);
}

// A tenth of the thread sanitizer's second of waiting at exit still catches late races, and many runs stay quick.
extern "C" const char* __tsan_default_options()
{
    return "atexit_sleep_ms=100";
}

int main()
{
    queue = platform::queue_create("probe");
    platform::notification_add_observer("probe.spin", [](const std::string&) { notes++; });
    platform::Timer timer = platform::timer_create(queue);
    platform::timer_set(timer, 0ns, 1ms, 0ns);
    platform::timer_set_handler(timer, [] { ticks++; });
    platform::timer_resume(timer);
    platform::queue_async(queue, spin);
    platform::thread_detach([] {
        for (;;)
            platform::notification_post("probe.spin");
    });
    platform::thread_detach([] {
        while (spins < 200 || ticks < 3 || notes < 200)
            std::this_thread::sleep_for(1ms);
        std::exit(0);
    });
    platform::run_loop_run();
    return 3;
}

// tolvane_media_run: binds the media framework, wires its notifications, a
// periodic timer and the command reader to the snapshots, announces itself
// and parks the calling thread in its run loop.
#include "commands.h"
#include "event_stream.h"
#include "framework.h"
#include "snapshot.h"

#include <dlfcn.h>

#include <chrono>
#include <cstdlib>
#include <string>

using namespace std::chrono_literals;

[[noreturn]] static void fail(const char* reason)
{
    emit({{"error", reason}});
    std::exit(2);
}

// Fires at once, then every 4 s; not debounced, so records keep coming.
static platform::Timer start_timer()
{
    platform::Timer timer = platform::timer_create(queue);
    platform::timer_set(timer, 0ns, 4s, 500ms);
    platform::timer_set_handler(timer, refresh);
    platform::timer_resume(timer);
    return timer;
}

extern "C" __attribute__((visibility("default"))) void tolvane_media_run()
{
    void* pool = platform::autorelease_pool_push();
    std::string path = framework_path();
    void* framework = path.empty() ? nullptr : dlopen(path.c_str(), RTLD_NOW);
    if (!framework)
        fail("framework");

    auto registerForNotifications = framework_bind(framework);
    if (!framework_complete(registerForNotifications))
        fail("symbols");

    queue = platform::queue_create("com.tolvane.media");
    registerForNotifications(queue);
    framework_observe(framework, [](const std::string&) { platform::queue_async(queue, schedule); });
    platform::Timer timer = start_timer();
    platform::thread_detach(readCommands);
    emit({{"ready", true}});
    platform::run_loop_run();

    timer.reset();
    platform::autorelease_pool_pop(pool);
}

#include "bridge.h"

#include "commands.h"
#include "event_stream.h"
#include "framework_path.h"
#include "snapshot.h"

#include <dlfcn.h>

#include <chrono>
#include <cstdlib>
#include <string>

using namespace std::chrono_literals;

MRGetNowPlayingInfoFn getInfo;
MRGetNowPlayingApplicationPIDFn getPID;
MRGetNowPlayingApplicationIsPlayingFn getPlaying;
MRSendCommandFn sendCommand;
MRSetElapsedTimeFn setElapsed;
// Never destroyed: the reader thread's exit must not pull the queue from
// under the blocks still running on it.
platform::Queue& queue = *new platform::Queue;

static const char* const notificationNames[] = {
    "kMRMediaRemoteNowPlayingInfoDidChangeNotification",
    "kMRMediaRemoteNowPlayingApplicationIsPlayingDidChangeNotification",
    "kMRMediaRemoteNowPlayingApplicationDidChangeNotification",
    "kMRMediaRemoteNowPlayingApplicationClientStateDidChange",
};

[[noreturn]] static void fail(const char* reason)
{
    emit({{"error", reason}});
    std::exit(2);
}

template <typename Fn> static Fn bind(void* framework, const char* name)
{
    return reinterpret_cast<Fn>(dlsym(framework, name));
}

// The framework's own name string where it exports one, else the literal.
static std::string notification_name(void* framework, const char* symbol)
{
    auto stored = static_cast<const char* const*>(dlsym(framework, symbol));
    return stored && *stored ? *stored : symbol;
}

static void observe(void* framework)
{
    for (const char* symbol : notificationNames)
        platform::notification_add_observer(notification_name(framework, symbol),
                                            [](const std::string&) { platform::queue_async(queue, schedule); });
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
    std::string path = framework_path();
    void* framework = path.empty() ? nullptr : dlopen(path.c_str(), RTLD_NOW);
    if (!framework)
        fail("framework");

    getInfo = bind<MRGetNowPlayingInfoFn>(framework, "MRMediaRemoteGetNowPlayingInfo");
    getPID = bind<MRGetNowPlayingApplicationPIDFn>(framework, "MRMediaRemoteGetNowPlayingApplicationPID");
    getPlaying =
        bind<MRGetNowPlayingApplicationIsPlayingFn>(framework, "MRMediaRemoteGetNowPlayingApplicationIsPlaying");
    sendCommand = bind<MRSendCommandFn>(framework, "MRMediaRemoteSendCommand");
    setElapsed = bind<MRSetElapsedTimeFn>(framework, "MRMediaRemoteSetElapsedTime");
    auto registerForNotifications =
        bind<MRRegisterForNowPlayingNotificationsFn>(framework, "MRMediaRemoteRegisterForNowPlayingNotifications");
    if (!getInfo || !getPID || !getPlaying || !sendCommand || !registerForNotifications)
        fail("symbols");

    queue = platform::queue_create("com.tolvane.media");
    registerForNotifications(queue);
    observe(framework);
    platform::Timer timer = start_timer();
    platform::thread_detach(readCommands);
    emit({{"ready", true}});
    platform::run_loop_run();
}

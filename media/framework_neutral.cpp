// The binding for framework stand-ins that speak media_remote.h's neutral
// types directly: ours over MPRIS on Linux, and the tests' scripted ones.
#include "framework.h"

#include <dlfcn.h>

template <typename Fn> static Fn bind(void* framework, const char* name)
{
    return reinterpret_cast<Fn>(dlsym(framework, name));
}

MRRegisterForNowPlayingNotificationsFn framework_bind(void* framework)
{
    getInfo = bind<MRGetNowPlayingInfoFn>(framework, "MRMediaRemoteGetNowPlayingInfo");
    getPID = bind<MRGetNowPlayingApplicationPIDFn>(framework, "MRMediaRemoteGetNowPlayingApplicationPID");
    getPlaying =
        bind<MRGetNowPlayingApplicationIsPlayingFn>(framework, "MRMediaRemoteGetNowPlayingApplicationIsPlaying");
    sendCommand = bind<MRSendCommandFn>(framework, "MRMediaRemoteSendCommand");
    setElapsed = bind<MRSetElapsedTimeFn>(framework, "MRMediaRemoteSetElapsedTime");
    return bind<MRRegisterForNowPlayingNotificationsFn>(framework, "MRMediaRemoteRegisterForNowPlayingNotifications");
}

// The names are stored as `const char* const`.
std::string framework_notification_name(void* framework, const char* symbol)
{
    auto stored = static_cast<const char* const*>(dlsym(framework, symbol));
    return stored && *stored ? *stored : symbol;
}

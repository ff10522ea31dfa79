#include "framework.h"

MRGetNowPlayingInfoFn getInfo;
MRGetNowPlayingApplicationPIDFn getPID;
MRGetNowPlayingApplicationIsPlayingFn getPlaying;
MRSendCommandFn sendCommand;
MRSetElapsedTimeFn setElapsed;
// Never destroyed: the reader thread's exit must not pull the queue from
// under the blocks still running on it.
platform::Queue& queue = *new platform::Queue;

static const char* const notificationSymbols[] = {
    "kMRMediaRemoteNowPlayingInfoDidChangeNotification",
    "kMRMediaRemoteNowPlayingApplicationIsPlayingDidChangeNotification",
    "kMRMediaRemoteNowPlayingApplicationDidChangeNotification",
    "kMRMediaRemoteNowPlayingApplicationClientStateDidChange",
};

bool framework_complete(MRRegisterForNowPlayingNotificationsFn registerForNotifications)
{
    return getInfo && getPID && getPlaying && sendCommand && registerForNotifications;
}

void framework_observe(void* framework, const platform::Observer& observer)
{
    for (const char* symbol : notificationSymbols)
        platform::notification_add_observer(framework_notification_name(framework, symbol), observer);
}

#ifdef __APPLE__

std::string framework_path()
{
    return "/System/Library/PrivateFrameworks/MediaRemote.framework/MediaRemote";
}

#else

#include <dlfcn.h>

extern "C" void tolvane_media_run();

// The stand-in lives next to this library, so the build tree, an install and
// a test's temporary folder all work alike.
std::string framework_path()
{
    Dl_info self{};
    if (!dladdr(reinterpret_cast<void*>(&tolvane_media_run), &self) || !self.dli_fname)
        return "";
    std::string path = self.dli_fname;
    std::size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    return folder + "/libMediaRemote.so";
}

#endif

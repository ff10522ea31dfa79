// The framework's exported names. Every question is answered once, from the
// bus thread, on the queue the caller gave.
#include "bus.h"
#include "commands.h"
#include "info.h"
#include "known.h"
#include "media_remote.h"
#include "names.h"
#include "notify.h"

#include <cmath>

#define MR_EXPORT extern "C" __attribute__((visibility("default")))

MR_EXPORT const char* const kMRMediaRemoteNowPlayingInfoDidChangeNotification =
    "kMRMediaRemoteNowPlayingInfoDidChangeNotification";
MR_EXPORT const char* const kMRMediaRemoteNowPlayingApplicationIsPlayingDidChangeNotification =
    "kMRMediaRemoteNowPlayingApplicationIsPlayingDidChangeNotification";
MR_EXPORT const char* const kMRMediaRemoteNowPlayingApplicationDidChangeNotification =
    "kMRMediaRemoteNowPlayingApplicationDidChangeNotification";
MR_EXPORT const char* const kMRMediaRemoteNowPlayingApplicationClientStateDidChange =
    "kMRMediaRemoteNowPlayingApplicationClientStateDidChange";

// Questions wait for the players on the bus to be known; commands queue in
// their own order (commands.h).
static void when_known(BusJob job)
{
    bus_run([job] { known_then(job); });
}

MR_EXPORT void MRMediaRemoteGetNowPlayingInfo(const platform::Queue& queue, const MRInfoCallback& callback)
{
    when_known([queue, callback] {
        info_gather(
            [queue, callback](MRInfo info) { platform::queue_async(queue, [callback, info] { callback(info); }); });
    });
}

MR_EXPORT void MRMediaRemoteGetNowPlayingApplicationPID(const platform::Queue& queue, const MRPIDCallback& callback)
{
    when_known([queue, callback] {
        std::int32_t pid = info_pid();
        platform::queue_async(queue, [callback, pid] { callback(pid); });
    });
}

MR_EXPORT void MRMediaRemoteGetNowPlayingApplicationIsPlaying(
    const platform::Queue& queue, const MRPlayingCallback& callback)
{
    when_known([queue, callback] {
        bool playing = info_playing();
        platform::queue_async(queue, [callback, playing] { callback(playing); });
    });
}

MR_EXPORT bool MRMediaRemoteSendCommand(std::uint32_t command, const void*)
{
    if (!command_known(command))
        return false;
    bus_run_command([command] { command_send(command); });
    return true;
}

MR_EXPORT void MRMediaRemoteSetElapsedTime(double seconds)
{
    if (!std::isfinite(seconds))
        return;
    bus_run_command([seconds] { command_set_position(seconds); });
}

MR_EXPORT void MRMediaRemoteRegisterForNowPlayingNotifications(const platform::Queue&)
{
    notify_register();
    bus_start();
}

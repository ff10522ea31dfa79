// A scripted media framework for the bridge's process tests: it answers pid
// 42, playing, the title in the file at STUB_SCRIPT and STUB_ARTWORK bytes of
// artwork; logs the registration, commands and seeks to STUB_LOG; and posts
// each name that comes as a line on descriptor 3. Variants leave out symbols
// (STUB_WITHOUT_PID, STUB_WITHOUT_NAMES) or never answer (STUB_SILENT).
#include "media_remote.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

#define STUB_EXPORT extern "C" __attribute__((visibility("default")))

static void log_line(const std::string& line)
{
    std::ofstream(std::getenv("STUB_LOG"), std::ios::app) << line << std::endl;
}

static MRInfo scripted_info()
{
    std::string title;
    std::getline(std::ifstream(std::getenv("STUB_SCRIPT")), title);
    std::size_t size = std::strtoul(std::getenv("STUB_ARTWORK"), nullptr, 10);
    return std::make_shared<MRInfoDictionary>(MRInfoDictionary{{kMRMediaRemoteNowPlayingInfoTitle, title},
        {kMRMediaRemoteNowPlayingInfoArtworkData, MRData{std::make_shared<std::vector<std::uint8_t>>(size, 7)}}});
}

template <typename Callback, typename Value>
static void answer(
    [[maybe_unused]] const platform::Queue& queue, [[maybe_unused]] Callback callback, [[maybe_unused]] Value value)
{
#ifndef STUB_SILENT
    platform::queue_async(queue, [callback, value] { callback(value); });
#endif
}

STUB_EXPORT void MRMediaRemoteGetNowPlayingInfo(const platform::Queue& queue, const MRInfoCallback& callback)
{
    answer(queue, callback, scripted_info());
}

#ifndef STUB_WITHOUT_PID
STUB_EXPORT void MRMediaRemoteGetNowPlayingApplicationPID(const platform::Queue& queue, const MRPIDCallback& callback)
{
    answer(queue, callback, 42);
}
#endif

STUB_EXPORT void MRMediaRemoteGetNowPlayingApplicationIsPlaying(
    const platform::Queue& queue, const MRPlayingCallback& callback)
{
    answer(queue, callback, true);
}

STUB_EXPORT bool MRMediaRemoteSendCommand(std::uint32_t command, const void*)
{
    log_line("command " + std::to_string(command));
    return true;
}

STUB_EXPORT void MRMediaRemoteSetElapsedTime(double seconds)
{
    char line[64];
    std::snprintf(line, sizeof line, "seek %g", seconds);
    log_line(line);
}

static void post_each_line()
{
    FILE* control = fdopen(3, "r");
    char name[256];
    while (control && std::fscanf(control, "%255s", name) == 1)
        platform::notification_post(name);
}

STUB_EXPORT void MRMediaRemoteRegisterForNowPlayingNotifications(const platform::Queue& queue)
{
    log_line(std::string("register ") + platform::queue_label(queue));
    platform::thread_detach(post_each_line);
}

// The names are stored under their symbols, as the real framework does; they
// differ from the symbols' own names so that a test can tell which was used.
#ifndef STUB_WITHOUT_NAMES
STUB_EXPORT const char* const kMRMediaRemoteNowPlayingInfoDidChangeNotification = "stub.info";
STUB_EXPORT const char* const kMRMediaRemoteNowPlayingApplicationIsPlayingDidChangeNotification = "stub.playing";
STUB_EXPORT const char* const kMRMediaRemoteNowPlayingApplicationDidChangeNotification = "stub.application";
STUB_EXPORT const char* const kMRMediaRemoteNowPlayingApplicationClientStateDidChange = "stub.client";
#endif

// A scripted media framework for the bridge's end-to-end tests: it answers
// from the JSON script at STUB_SCRIPT, {"pid", "playing", "info": null or
// {key suffix: value}}, where a value is JSON's own or one of {"date": s},
// {"data": [bytes]}, {"object": "text"}, {"double": "text for strtod"}; logs
// what it is asked to STUB_LOG; posts each "NAME" line of descriptor 3, and
// "NAME MS" twice, MS apart on the bridge's queue. Variants leave out symbols
// (STUB_WITHOUT_PID, _SEEK, _NAMES) or never answer (STUB_SILENT).
#include "media_remote.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#define STUB_EXPORT extern "C" __attribute__((visibility("default")))

static void log_line(const std::string& line)
{
    std::ofstream(std::getenv("STUB_LOG"), std::ios::app) << line << std::endl;
}

static nlohmann::json read_script()
{
    return nlohmann::json::parse(std::ifstream(std::getenv("STUB_SCRIPT")));
}

static MRValue value_of(const nlohmann::json& v)
{
    if (v.is_object() && v.contains("date"))
        return MRDate{v["date"].get<double>()};
    if (v.is_object() && v.contains("double"))
        return std::strtod(v["double"].get<std::string>().c_str(), nullptr);
    if (v.is_object() && v.contains("data"))
        return MRData{std::make_shared<const std::vector<std::uint8_t>>(v["data"].get<std::vector<std::uint8_t>>())};
    if (v.is_object())
        return MRObject{v.value("object", "")};
    if (v.is_boolean())
        return v.get<bool>();
    if (v.is_number_float())
        return v.get<double>();
    if (v.is_number())
        return v.get<std::int64_t>();
    return v.get<std::string>();
}

static MRInfo info_of(const nlohmann::json& script)
{
    const nlohmann::json given = script.contains("info") ? script["info"] : nlohmann::json::object();
    if (!given.is_object())
        return nullptr;
    auto info = std::make_shared<MRInfoDictionary>();
    for (auto item = given.begin(); item != given.end(); ++item)
        (*info)["kMRMediaRemoteNowPlayingInfo" + item.key()] = value_of(item.value());
    return info;
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
    answer(queue, callback, info_of(read_script()));
    log_line("info");
}

#ifndef STUB_WITHOUT_PID
STUB_EXPORT void MRMediaRemoteGetNowPlayingApplicationPID(const platform::Queue& queue, const MRPIDCallback& callback)
{
    answer(queue, callback, read_script().value("pid", 0));
}
#endif

STUB_EXPORT void MRMediaRemoteGetNowPlayingApplicationIsPlaying(
    const platform::Queue& queue, const MRPlayingCallback& callback)
{
    answer(queue, callback, read_script().value("playing", false));
}

STUB_EXPORT bool MRMediaRemoteSendCommand(std::uint32_t command, const void*)
{
    log_line("command " + std::to_string(command));
    return true;
}

#ifndef STUB_WITHOUT_SEEK
STUB_EXPORT void MRMediaRemoteSetElapsedTime(double seconds)
{
    char line[64];
    std::snprintf(line, sizeof line, "seek %g", seconds);
    log_line(line);
}
#endif

static platform::Queue& bridgeQueue = *new platform::Queue;

// The second post is timed from the block of the first, as the bridge's
// debounce is, so the gap between them holds however loaded the machine is.
static void post_each_line()
{
    FILE* control = fdopen(3, "r");
    char line[256], name[256];
    while (control && std::fgets(line, sizeof line, control)) {
        int gap = -1;
        std::sscanf(line, "%255s %d", name, &gap);
        platform::queue_async(bridgeQueue, [name = std::string(name), gap] {
            platform::notification_post(name);
            if (gap >= 0)
                platform::queue_after(
                    bridgeQueue, std::chrono::milliseconds(gap), [name] { platform::notification_post(name); });
        });
    }
}

STUB_EXPORT void MRMediaRemoteRegisterForNowPlayingNotifications(const platform::Queue& queue)
{
    log_line(std::string("register ") + platform::queue_label(queue));
    bridgeQueue = queue;
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

// A scripted media framework for the bridge's end-to-end tests. It answers
// from a JSON script that the test may replace at any time (STUB_SCRIPT),
// notes what it is asked to do in a log (STUB_LOG), and posts each name that
// the test writes as a line to descriptor 3. Variants leave out single
// symbols (STUB_WITHOUT_PID, _SEEK, _NAMES) or never answer (STUB_SILENT).
//
// Script: {"pid": N, "playing": bool, "info": null or {key suffix: value}};
// a value is a string, an integer, a fraction, a boolean, or one of
// {"date": seconds}, {"data": [bytes]}, {"object": "description"},
// {"double": "text for strtod"} for the numbers JSON cannot hold.
#include "media_remote.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#define STUB_EXPORT extern "C" __attribute__((visibility("default")))

static void log_line(const std::string& line)
{
    std::ofstream(std::getenv("STUB_LOG"), std::ios::app) << line << std::endl;
}

static nlohmann::json read_script()
{
    std::ifstream file(std::getenv("STUB_SCRIPT"));
    nlohmann::json script = nlohmann::json::parse(file, nullptr, false);
    return script.is_object() ? script : nlohmann::json::object();
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
static void answer([[maybe_unused]] const platform::Queue& queue, [[maybe_unused]] Callback callback,
                   [[maybe_unused]] Value value)
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

STUB_EXPORT void MRMediaRemoteGetNowPlayingApplicationIsPlaying(const platform::Queue& queue,
                                                                const MRPlayingCallback& callback)
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

static void post_each_line()
{
    FILE* control = fdopen(3, "r");
    char name[256];
    while (control && std::fgets(name, sizeof name, control)) {
        name[std::strcspn(name, "\n")] = '\0';
        platform::notification_post(name);
    }
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

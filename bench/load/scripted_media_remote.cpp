// The load program's scripted media framework: it answers from the JSON
// script at STUB_SCRIPT, {"pid", "playing", "info": {key suffix: value}},
// where a value is a text or {"data": [bytes]}; logs the commands it is sent
// to STUB_LOG; and posts each name that comes as a line through the FIFO at
// STUB_POSTS.
#include "media_remote.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#define STUB_EXPORT extern "C" __attribute__((visibility("default")))

static nlohmann::json read_script()
{
    return nlohmann::json::parse(std::ifstream(std::getenv("STUB_SCRIPT")));
}

static MRValue value_of(const nlohmann::json& v)
{
    if (v.is_object())
        return MRData{std::make_shared<const std::vector<std::uint8_t>>(v["data"].get<std::vector<std::uint8_t>>())};
    return v.get<std::string>();
}

static MRInfo info_of(const nlohmann::json& script)
{
    auto info = std::make_shared<MRInfoDictionary>();
    const nlohmann::json given = script.value("info", nlohmann::json::object());
    for (const auto& [key, value] : given.items())
        (*info)["kMRMediaRemoteNowPlayingInfo" + key] = value_of(value);
    return info;
}

template <typename Callback, typename Value>
static void answer(const platform::Queue& queue, const Callback& callback, Value value)
{
    platform::queue_async(queue, [callback, value] { callback(value); });
}

STUB_EXPORT void MRMediaRemoteGetNowPlayingInfo(const platform::Queue& queue, const MRInfoCallback& callback)
{
    answer(queue, callback, info_of(read_script()));
}

STUB_EXPORT void MRMediaRemoteGetNowPlayingApplicationPID(const platform::Queue& queue, const MRPIDCallback& callback)
{
    answer(queue, callback, read_script().value("pid", 0));
}

STUB_EXPORT void MRMediaRemoteGetNowPlayingApplicationIsPlaying(
    const platform::Queue& queue, const MRPlayingCallback& callback)
{
    answer(queue, callback, read_script().value("playing", false));
}

STUB_EXPORT bool MRMediaRemoteSendCommand(std::uint32_t command, const void*)
{
    std::ofstream(std::getenv("STUB_LOG"), std::ios::app) << "command " << command << std::endl;
    return true;
}

static void post_each_line()
{
    FILE* posts = std::fopen(std::getenv("STUB_POSTS"), "r");
    char name[256];
    while (posts && std::fscanf(posts, "%255s", name) == 1)
        platform::notification_post(name);
}

STUB_EXPORT void MRMediaRemoteRegisterForNowPlayingNotifications(const platform::Queue&)
{
    platform::thread_detach(post_each_line);
}

STUB_EXPORT const char* const kMRMediaRemoteNowPlayingInfoDidChangeNotification = "stub.info";
STUB_EXPORT const char* const kMRMediaRemoteNowPlayingApplicationIsPlayingDidChangeNotification = "stub.playing";
STUB_EXPORT const char* const kMRMediaRemoteNowPlayingApplicationDidChangeNotification = "stub.application";
STUB_EXPORT const char* const kMRMediaRemoteNowPlayingApplicationClientStateDidChange = "stub.client";

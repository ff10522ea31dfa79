// The media framework as the bridge binds it at run time: the functions it
// looks up by name, their call forms, and the values of the now-playing
// information. The framework stand-ins (ours over MPRIS, and the scripted ones
// in the tests) export these names with C linkage.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

// A value of the information dictionary. Integers and doubles stay apart;
// a boolean is a number, as on the platform it stands in for.
struct MRDate {
    double sinceEpoch;  // seconds since 1970-01-01 00:00:00 UTC
};
struct MRData {
    std::shared_ptr<const std::vector<std::uint8_t>> bytes;
};
struct MRObject {
    std::string description;  // any other object: only its text description
};
using MRValue = std::variant<std::string, std::int64_t, double, bool, MRDate, MRData, MRObject>;
using MRInfoDictionary = std::map<std::string, MRValue>;
using MRInfo = std::shared_ptr<const MRInfoDictionary>;  // null: no information

using MRPIDCallback = std::function<void(std::int32_t pid)>;
using MRPlayingCallback = std::function<void(bool playing)>;
using MRInfoCallback = std::function<void(MRInfo info)>;

// Each answer is delivered once, on the queue given; the framework copies
// any callback that it keeps beyond the call.
using MRGetNowPlayingInfoFn = void (*)(const platform::Queue& queue, const MRInfoCallback& callback);
using MRGetNowPlayingApplicationPIDFn = void (*)(const platform::Queue& queue, const MRPIDCallback& callback);
using MRGetNowPlayingApplicationIsPlayingFn = void (*)(const platform::Queue& queue, const MRPlayingCallback& callback);
using MRSendCommandFn = bool (*)(std::uint32_t command, const void* options);
using MRSetElapsedTimeFn = void (*)(double seconds);
using MRRegisterForNowPlayingNotificationsFn = void (*)(const platform::Queue& queue);

// The notification names are data symbols of type `const char* const`.

enum : std::uint32_t {
    kMRPlay = 0,
    kMRPause = 1,
    kMRTogglePlayPause = 2,
    kMRNextTrack = 4,
    kMRPreviousTrack = 5,
};

inline constexpr const char* kMRMediaRemoteNowPlayingInfoTitle = "kMRMediaRemoteNowPlayingInfoTitle";
inline constexpr const char* kMRMediaRemoteNowPlayingInfoArtist = "kMRMediaRemoteNowPlayingInfoArtist";
inline constexpr const char* kMRMediaRemoteNowPlayingInfoAlbum = "kMRMediaRemoteNowPlayingInfoAlbum";
inline constexpr const char* kMRMediaRemoteNowPlayingInfoDuration = "kMRMediaRemoteNowPlayingInfoDuration";
inline constexpr const char* kMRMediaRemoteNowPlayingInfoElapsedTime = "kMRMediaRemoteNowPlayingInfoElapsedTime";
inline constexpr const char* kMRMediaRemoteNowPlayingInfoPlaybackRate = "kMRMediaRemoteNowPlayingInfoPlaybackRate";
inline constexpr const char* kMRMediaRemoteNowPlayingInfoTimestamp = "kMRMediaRemoteNowPlayingInfoTimestamp";
inline constexpr const char* kMRMediaRemoteNowPlayingInfoArtworkData = "kMRMediaRemoteNowPlayingInfoArtworkData";
inline constexpr const char* kMRMediaRemoteNowPlayingInfoArtworkIdentifier =
    "kMRMediaRemoteNowPlayingInfoArtworkIdentifier";

// The stand-in as the bridge sees it: loaded by path, bound by name, asked
// on a queue of our own. Each answer is checked to come once, on that queue.
#pragma once

#include "media_remote.h"

#include <optional>
#include <string>

struct StandIn {
    MRGetNowPlayingInfoFn getInfo;
    MRGetNowPlayingApplicationPIDFn getPID;
    MRGetNowPlayingApplicationIsPlayingFn getPlaying;
    MRSendCommandFn sendCommand;
    MRSetElapsedTimeFn setElapsed;
    MRRegisterForNowPlayingNotificationsFn registerForNotifications;
    void* handle;
};

const StandIn& standin();
const platform::Queue& test_queue();

std::optional<std::int32_t> ask_pid();
std::optional<bool> ask_playing();
std::optional<MRInfo> ask_info();

// The title the stand-in now reports, "" without one: a way to see which
// player it follows.
std::string now_playing_title();
bool now_playing_title_becomes(const std::string& title);

// How many times a notification has been posted since the process started.
int posted(const char* name);

// The bridge's process-wide state: the bound framework functions and the one
// queue. Written once by tolvane_media_run before any other thread or queued
// work exists, and only read afterwards.
#pragma once

#include "media_remote.h"

extern MRGetNowPlayingInfoFn getInfo;
extern MRGetNowPlayingApplicationPIDFn getPID;
extern MRGetNowPlayingApplicationIsPlayingFn getPlaying;
extern MRSendCommandFn sendCommand;
extern MRSetElapsedTimeFn setElapsed;  // optional: may stay null
extern platform::Queue& queue;

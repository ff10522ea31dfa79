// The media framework as the bridge binds it at run time. The bound functions
// and the one queue are written once by tolvane_media_run, before any other
// thread or queued work exists, and only read afterwards.
#pragma once

#include "media_remote.h"

#include <string>

extern MRGetNowPlayingInfoFn getInfo;
extern MRGetNowPlayingApplicationPIDFn getPID;
extern MRGetNowPlayingApplicationIsPlayingFn getPlaying;
extern MRSendCommandFn sendCommand;
extern MRSetElapsedTimeFn setElapsed;  // optional: may stay null
extern platform::Queue& queue;

// The framework's path, or the empty string when it cannot be told.
std::string framework_path();

// Looks up the six functions, all before any is tested, into the globals
// above and the returned registration function; a missing one stays null.
// The platform's binding turns the framework's own calling convention into
// the neutral one of media_remote.h.
MRRegisterForNowPlayingNotificationsFn framework_bind(void* framework);

// Whether every function the bridge cannot do without was bound: all but
// setElapsed.
bool framework_complete(MRRegisterForNowPlayingNotificationsFn registerForNotifications);

// The notification name the framework stores at the symbol where it exports
// one, else the symbol's own text.
std::string framework_notification_name(void* framework, const char* symbol);

// Observes the framework's four now-playing notifications by those names.
void framework_observe(void* framework, const platform::Observer& observer);

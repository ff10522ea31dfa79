// The notification names the stand-in exports and posts.
#pragma once

extern "C" {
extern const char* const kMRMediaRemoteNowPlayingInfoDidChangeNotification;
extern const char* const kMRMediaRemoteNowPlayingApplicationIsPlayingDidChangeNotification;
extern const char* const kMRMediaRemoteNowPlayingApplicationDidChangeNotification;
extern const char* const kMRMediaRemoteNowPlayingApplicationClientStateDidChange;
}

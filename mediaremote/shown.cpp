#include "shown.h"

#include "names.h"
#include "notify.h"
#include "players.h"

Shown shown_now()
{
    const Player* p = players_current();
    return p ? Shown{p->owner, p->playing} : Shown{"", false};
}

bool shown_is(const std::string& owner)
{
    const Player* p = players_current();
    return p && p->owner == owner;
}

void shown_post_changes(const Shown& before)
{
    Shown now = shown_now();
    if (now.owner != before.owner)
        notify_post(kMRMediaRemoteNowPlayingApplicationDidChangeNotification);
    else if (now.playing != before.playing)
        notify_post(kMRMediaRemoteNowPlayingApplicationIsPlayingDidChangeNotification);
}

void shown_post_info(const std::string& owner)
{
    if (shown_is(owner))
        notify_post(kMRMediaRemoteNowPlayingInfoDidChangeNotification);
}

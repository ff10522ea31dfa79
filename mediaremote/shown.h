// What the bridge is shown of the players: whose connection is now playing
// (a connection that owns several names is one application), and whether it
// plays. A change to the players is posted as the notification for what it
// changes there, and only then. Bus thread only.
#pragma once

#include <string>

struct Shown {
    std::string owner;
    bool playing;
};

Shown shown_now();
bool shown_is(const std::string& owner);  // the now-playing player's connection
void shown_post_changes(const Shown& before);
void shown_post_info(const std::string& owner);  // that player's information changed

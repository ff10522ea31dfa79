// A session-bus client that owns no player name and never reads a message,
// so never answers one, yet says every 100 ms on the player path that the
// status and metadata changed.
#pragma once

#include "repeater.h"

#include <sdbus-c++/sdbus-c++.h>

#include <memory>

struct HostilePeer {
    HostilePeer();

    std::unique_ptr<sdbus::IConnection> connection_;
    std::unique_ptr<sdbus::IObject> object_;
    Repeater nagging_;  // last: it stops before the connection goes
};

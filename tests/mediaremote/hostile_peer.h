// A session-bus client that owns no player name and never reads a message,
// so never answers one, yet says every 100 ms on the player path that the
// status and metadata changed.
#pragma once

#include "repeater.h"

#include <sdbus-c++/sdbus-c++.h>

#include <memory>
#include <string>

struct HostilePeer {
    HostilePeer();
    // Tells every other connection, as if it were the bus, that the name's
    // owner left; returns once each has handled that or failed to answer.
    void forge_departure(const std::string& name, const std::string& owner);

    std::unique_ptr<sdbus::IConnection> connection_;
    std::unique_ptr<sdbus::IObject> object_;
    Repeater nagging_;  // last: it stops before the connection goes
};

#include "bus_daemon.h"

#include <signal.h>
#include <stdlib.h>

#include <stdexcept>

// The daemon prints its address once it listens: that is the sign it is ready.
BusDaemon::BusDaemon(const std::string& socketPath)
    : daemon({"/usr/bin/dbus-daemon", "--session", "--nofork", "--print-address", "--address=unix:path=" + socketPath})
{
    if (!child_read_line(daemon))
        throw std::runtime_error("dbus-daemon did not start");
}

// Ended gently, so that it removes its socket before the next one binds.
BusDaemon::~BusDaemon()
{
    child_kill(daemon, SIGTERM);
    child_wait(daemon);
}

std::string test_folder()
{
    static char folder[] = "/tmp/mediaremote-test-XXXXXX";
    static const bool made = mkdtemp(folder) != nullptr;
    return made ? folder : throw std::runtime_error("mkdtemp");
}

const std::string& test_bus_path()
{
    static const std::string path = test_folder() + "/bus";
    return path;
}

std::string test_bus_address()
{
    return "unix:path=" + test_bus_path();
}

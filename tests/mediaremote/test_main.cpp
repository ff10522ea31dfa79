// Every test process talks to its own bus address, set before the stand-in
// loads; each test starts and stops a daemon there.
#include "bus_daemon.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdlib.h>

// sdbus-c++ and libsystemd are not built with the thread sanitizer, so the
// synchronisation inside them (function-local statics, their own locks) is
// invisible to it; reports that run through those libraries are left out.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:libsdbus-c++.so.1\nrace:libsystemd.so.0\n";
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    setenv("DBUS_SESSION_BUS_ADDRESS", test_bus_address().c_str(), 1);
    int status = RUN_ALL_TESTS();
    std::filesystem::remove_all(test_folder());
    return status;
}

// Every test's players talk to the bus that the test starts and stops.
#include "bus_daemon.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdlib.h>

// The thread sanitizer cannot see the locks inside the uninstrumented D-Bus
// libraries, so reports that run through them are left out.
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

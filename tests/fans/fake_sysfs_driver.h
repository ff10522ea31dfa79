// The kernel's applesmc and macsmc_hwmon drivers as their sources behave: a
// temporary tree of empty files for the controller's folder lookups, and the
// fan files' values and errors answered in process through the controller's
// file functions, since plain files cannot refuse a write from root.
#pragma once

#include <cstdint>
#include <set>
#include <string>

enum class Driver { kNone, kApplesmc, kMacsmc };

struct FakeFan {
    double actual, minimum, maximum, safe, target;  // rpm, as the SMC holds them
};

struct FakeDriver {
    // Builds the tree with `fans` fans (at most 2) beside an unrelated hwmon
    // device that has fans too, opens the controller on it and detects the fans.
    explicit FakeDriver(Driver kind, int fans = 2);
    ~FakeDriver();
    int manual_fans() const;  // a bit for each fan under manual control
    std::string writes();     // the writes that reached the driver since last asked

    Driver kind;
    int fans;
    bool opened;
    FakeFan fan[2] = {{2000.75, 1200, 6200, 5200, 2000}, {1800, 1000, 5800, 4800, 1800}};
    uint16_t manualBits = 0;     // applesmc: the one key behind every fanN_manual
    bool manualKey = true;       // applesmc: false on a Mac without that key
    bool fanControl = true;      // macsmc_hwmon: the module option
    bool manual[2] = {};         // macsmc_hwmon: fans under manual control
    std::set<std::string> busy;  // files that answer EIO, as a busy controller does
    std::string log;             // "fan1_output=2500\n" for each write tried
    std::string root, applesmcDir, hwmonDir;
};

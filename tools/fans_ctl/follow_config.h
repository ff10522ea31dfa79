// What follow runs by: the configuration file (TOML, keys named as the long options), then
// the options over it.
#pragma once

#include "curve.h"
#include "options.h"
#include "sensors.h"

#include <string>
#include <vector>

const char kDefaultConfig[] = "/etc/tolvane/fans-follow.toml";

// A number's bounds, as a setting and its option share them.
struct Limit {
    const char* key;
    double low, high;
    bool whole;
};
const Limit kHysteresis = {"hysteresis", 0, 30, false}, kStep = {"step", 0, 5000, true},
            kEvery = {"every", 1, 50, true};

// A text setting and the line of the file it came from; 0: from the command line.
struct Sourced {
    std::string text;
    int line = 0;
};

struct FollowConfig {
    std::vector<Sourced> sensors;  // "PATTERN[+-OFFSET]"
    Sourced curve;
    double hysteresis = 3;
    int step = 100, every = 2;
};

// All follow runs by, checked.
struct FollowSetup {
    Curve curve;
    double hysteresis;
    int step, every;
    std::vector<Chosen> sensors;
};

// Whether text is a number within limit (a whole one where it must be).
bool parse_limited(const Limit& limit, const char* text, double& value);
// Reads path into config; false with the line (0 for none) and the fault. A missing file is
// no fault where mayBeMissing (the default path).
bool read_follow_config(const char* path, bool mayBeMissing, FollowConfig& config, Sourced& fault);
// The file (the options' or the default one), the options over it, the curve parsed and the
// sensors chosen among those present. Else false, a fault said on standard error, and the
// exit status: EX_CONFIG for the file's ("PATH:LINE: fault"), EX_USAGE for the options'.
bool configure_follow(const Options& options, FollowSetup& setup, int& status);

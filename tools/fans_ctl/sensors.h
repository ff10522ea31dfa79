// The temperature inputs of the hwmon class, by names that survive a reboot.
#pragma once

#include <string>
#include <vector>

// An input named by its driver and its label ("coretemp/Package id 0"), never by the
// hwmonN index, which the kernel hands out in the order drivers come.
struct Sensor {
    std::string name, input;  // input: the tempN_input file under its device's real path
};

// A sensor taken to follow, with what is added to its reading.
struct Chosen {
    std::string name;
    double offset;
};

// The hottest of the chosen, offsets added; or the first that failed, and how.
struct Reading {
    double celsius;
    std::string name;
    const char* fault;  // nullptr, or "is gone", "cannot be read", "reads an impossible value"
};

// /sys/class/hwmon, or TOLVANE_HWMON_ROOT where that is set.
const char* hwmon_root();
// Every temperature input, sorted by name; of inputs that share a name, the later ones by
// device path get "#2", "#3".
std::vector<Sensor> find_sensors();
bool read_celsius(const std::string& input, double& celsius);
// Appends the sensors that "PATTERN[+-OFFSET]" names (a shell pattern); false when none.
bool choose_sensors(const std::vector<Sensor>& sensors, const std::string& choice, std::vector<Chosen>& chosen);
Reading hottest(const std::vector<Sensor>& sensors, const std::vector<Chosen>& chosen);
// The hottest, read afresh by the inputs' paths found before; the class is looked through
// again only when one fails. A device's path is taken by no other device: a driver loaded
// again gets a monitor of a new number, and the old path fails.
Reading read_chosen(const std::vector<Chosen>& chosen);
// tolvane-fans-ctl sensors: each input's name and value.
int print_sensors();

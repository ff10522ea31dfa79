#include "follow_config.h"

#include "file_text.h"
#include "request.h"

#include <sysexits.h>
#include <toml++/toml.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The CPU's package or die temperature, where no sensor is named.
static const char* const kDefaultSensors[] = {"coretemp/Package id *", "k10temp/Tctl", "k10temp/Tdie"};

static bool within(const Limit& limit, double value)
{
    return value >= limit.low && value <= limit.high && (!limit.whole || value == std::floor(value));
}

static std::string limit_fault(const Limit& limit)
{
    char text[80];
    snprintf(text, sizeof text, "%s is a %snumber from %g to %g", limit.key, limit.whole ? "whole " : "", limit.low,
        limit.high);
    return text;
}

bool parse_limited(const Limit& limit, const char* text, double& value)
{
    char* end;
    value = strtod(text, &end);
    return end != text && *end == '\0' && within(limit, value);
}

static int line_of(const toml::node& node)
{
    return int(node.source().begin.line);
}

static bool read_number(const toml::node& node, const Limit& limit, double& value, Sourced& fault)
{
    std::optional<double> number = node.value<double>();
    if (number && (node.is_integer() || !limit.whole) && within(limit, *number))
        return value = *number, true;
    return fault = {limit_fault(limit), line_of(node)}, false;
}

static bool read_sensors(const toml::node& node, std::vector<Sourced>& sensors, Sourced& fault)
{
    const toml::array* list = node.as_array();
    for (std::size_t i = 0; list && i < list->size(); i++) {
        std::optional<std::string> name = (*list)[i].value<std::string>();
        if (!name)
            return fault = {"sensor is a list of names", line_of((*list)[i])}, false;
        sensors.push_back({*name, line_of((*list)[i])});
    }
    return list || (fault = {"sensor is a list of names", line_of(node)}, false);
}

static bool read_key(const std::string& key, const toml::node& node, FollowConfig& config, Sourced& fault)
{
    if (key == "sensor")
        return read_sensors(node, config.sensors, fault);
    if (key == "curve" && node.is_string())
        return config.curve = {*node.value<std::string>(), line_of(node)}, true;
    if (key == "curve")
        return fault = {"curve is a string of TEMP:RPM points", line_of(node)}, false;
    if (key == "hysteresis")
        return read_number(node, kHysteresis, config.hysteresis, fault);
    if (key == "step" || key == "every") {
        double number;
        if (!read_number(node, key == "step" ? kStep : kEvery, number, fault))
            return false;
        return (key == "step" ? config.step : config.every) = int(number), true;
    }
    return fault = {"unknown key " + key, line_of(node)}, false;
}

bool read_follow_config(const char* path, bool mayBeMissing, FollowConfig& config, Sourced& fault)
{
    std::optional<std::string> text = file_text(path);
    if (!text)
        return (mayBeMissing && errno == ENOENT) ||
            (fault = {std::string("cannot be read: ") + strerror(errno), 0}, false);
    toml::table table;
    try {
        table = toml::parse(*text, std::string_view(path));
    } catch (const toml::parse_error& error) {
        return fault = {std::string(error.description()), int(error.source().begin.line)}, false;
    }
    for (const auto& [key, node] : table)
        if (!read_key(std::string(key.str()), node, config, fault))
            return false;
    return true;
}

static int file_fault(const char* path, const Sourced& fault)
{
    if (fault.line > 0)
        return complain(EX_CONFIG, "%s:%d: %s", path, fault.line, fault.text.c_str());
    return complain(EX_CONFIG, "%s: %s", path, fault.text.c_str());
}

// A fault of a setting, where it came from: the file's line, or the command line.
static int setting_fault(const char* path, const Sourced& fault)
{
    return fault.line > 0 ? file_fault(path, fault) : usage_fault(fault.text, kFollowUsage);
}

static void apply_options(const Options& o, FollowConfig& config)
{
    if (!o.sensors.empty())
        config.sensors.clear();
    for (const std::string& sensor : o.sensors)
        config.sensors.push_back({sensor, 0});
    if (o.curve)
        config.curve = {o.curve, 0};
    config.hysteresis = o.hysteresis.value_or(config.hysteresis);
    config.step = int(o.step.value_or(config.step));
    if (o.everySeconds > 0)
        config.every = o.everySeconds;
}

static bool choose_all(const std::vector<Sourced>& choices, std::vector<Chosen>& chosen, const char* path, int& status)
{
    std::vector<Sensor> sensors = find_sensors();
    for (const Sourced& choice : choices)
        if (!choose_sensors(sensors, choice.text, chosen))
            return status = setting_fault(path, {"no sensor is named " + choice.text, choice.line}), false;
    if (choices.empty())
        for (const char* choice : kDefaultSensors)
            choose_sensors(sensors, choice, chosen);
    if (chosen.empty())
        status = complain(EX_CONFIG,
            "no CPU package or die temperature (coretemp/Package id *, k10temp/Tctl or "
            "k10temp/Tdie) under %s: name the sensors to follow with --sensor or in %s "
            "(tolvane-fans-ctl sensors lists them)",
            hwmon_root(), path);
    return !chosen.empty();
}

bool configure_follow(const Options& o, FollowSetup& setup, int& status)
{
    const char* path = o.configPath ? o.configPath : kDefaultConfig;
    FollowConfig config;
    Sourced fault;
    if (!read_follow_config(path, !o.configPath, config, fault))
        return status = file_fault(path, fault), false;
    apply_options(o, config);
    if (config.curve.text.empty())
        return status = file_fault(path, {"no curve: set curve here or give --curve", 0}), false;
    if (std::string text = parse_curve(config.curve.text, setup.curve); !text.empty())
        return status = setting_fault(path, {"curve: " + text, config.curve.line}), false;
    setup.hysteresis = config.hysteresis, setup.step = config.step, setup.every = config.every;
    return choose_all(config.sensors, setup.sensors, path, status);
}

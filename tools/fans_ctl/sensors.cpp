#include "sensors.h"

#include "curve.h"
#include "file_text.h"
#include "request.h"

#include <fnmatch.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <tuple>

namespace fs = std::filesystem;

namespace {
struct Input {
    std::string name, device, input;
    int index;
};
}  // namespace

const char* hwmon_root()
{
    const char* root = getenv("TOLVANE_HWMON_ROOT");
    return root && *root ? root : "/sys/class/hwmon";
}

static std::string first_line(const fs::path& file)
{
    std::string text = file_text(file.c_str()).value_or("");
    return text.substr(0, text.find('\n'));
}

// The index of a tempN_input, or 0.
static int input_index(const std::string& file)
{
    int index = 0, length = 0;
    return sscanf(file.c_str(), "temp%d_input%n", &index, &length) == 1 && size_t(length) == file.size() ? index : 0;
}

static void add_inputs(const fs::path& monitor, std::vector<Input>& inputs)
{
    std::string driver = first_line(monitor / "name");
    if (driver.empty())
        driver = first_line(monitor / "device/name");
    std::error_code error;
    fs::path device = fs::canonical(monitor / "device", error), real = fs::canonical(monitor, error);
    if (device.empty())
        device = real;
    for (const auto& entry : fs::directory_iterator(real, error)) {
        int n = input_index(entry.path().filename());
        if (n <= 0 || driver.empty())
            continue;
        std::string label = first_line(monitor / ("temp" + std::to_string(n) + "_label"));
        inputs.push_back(
            {driver + "/" + (label.empty() ? "temp" + std::to_string(n) : label), device, entry.path(), n});
    }
}

std::vector<Sensor> find_sensors()
{
    std::vector<Input> inputs;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(hwmon_root(), error))
        add_inputs(entry.path(), inputs);
    std::sort(inputs.begin(), inputs.end(), [](const Input& a, const Input& b) {
        return std::tie(a.name, a.device, a.index, a.input) < std::tie(b.name, b.device, b.index, b.input);
    });
    std::vector<Sensor> sensors;
    for (std::size_t i = 0; i < inputs.size(); i++) {
        const std::string& name = inputs[i].name;
        auto before = std::count_if(inputs.begin(), inputs.begin() + i, [&](const Input& b) { return b.name == name; });
        sensors.push_back({before > 0 ? name + "#" + std::to_string(before + 1) : name, inputs[i].input});
    }
    return sensors;
}

// A value past long's range comes back as its limit, which the callers' bounds refuse.
bool read_celsius(const std::string& input, double& celsius)
{
    std::optional<std::string> text = file_text(input.c_str());
    if (!text)
        return false;
    char* end;
    long milli = strtol(text->c_str(), &end, 10);
    if (end == text->c_str())
        return false;
    celsius = double(milli) / 1000;
    return true;
}

// The +-OFFSET ending a choice, cut off; 0 where there is none.
static double cut_offset(std::string& choice)
{
    std::size_t sign = choice.find_last_of("+-");
    if (sign == std::string::npos)
        return 0;
    char* end;
    double offset = strtod(choice.c_str() + sign, &end);
    if (end == choice.c_str() + sign || *end != '\0' || !std::isfinite(offset))
        return 0;
    choice.erase(sign);
    return offset;
}

bool choose_sensors(const std::vector<Sensor>& sensors, const std::string& choice, std::vector<Chosen>& chosen)
{
    std::string pattern = choice;
    double offset = cut_offset(pattern);
    std::size_t before = chosen.size();
    for (const Sensor& sensor : sensors)
        if (fnmatch(pattern.c_str(), sensor.name.c_str(), 0) == 0)
            chosen.push_back({sensor.name, offset});
    return chosen.size() > before;
}

Reading hottest(const std::vector<Sensor>& sensors, const std::vector<Chosen>& chosen)
{
    Reading hot = {-std::numeric_limits<double>::infinity(), "", nullptr};  // below any offset reading
    for (const Chosen& c : chosen) {
        auto found = std::find_if(sensors.begin(), sensors.end(), [&](const Sensor& s) { return s.name == c.name; });
        double celsius;
        if (found == sensors.end())
            return {0, c.name, "is gone"};
        if (!read_celsius(found->input, celsius))
            return {0, c.name, "cannot be read"};
        if (celsius < kColdest || celsius > kHottest)
            return {celsius, c.name, "reads an impossible value"};
        if (celsius + c.offset > hot.celsius)
            hot = {celsius + c.offset, c.name, nullptr};
    }
    return hot;
}

Reading read_chosen(const std::vector<Chosen>& chosen)
{
    static std::vector<Sensor> known;
    Reading reading = hottest(known, chosen);
    if (reading.fault)
        reading = hottest(known = find_sensors(), chosen);
    return reading;
}

int print_sensors()
{
    std::vector<Sensor> sensors = find_sensors();
    if (sensors.empty())
        return complain(1, "no temperature inputs under %s", hwmon_root());
    int width = 0;
    for (const Sensor& sensor : sensors)
        width = std::max(width, int(sensor.name.size()));
    for (const Sensor& sensor : sensors) {
        double celsius;
        if (read_celsius(sensor.input, celsius))
            printf("%-*s  %.1f °C\n", width, sensor.name.c_str(), celsius);
        else
            printf("%-*s  unreadable\n", width, sensor.name.c_str());
    }
    return 0;
}

#include "curve.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

// One TEMP:RPM; the fault, or "".
static std::string parse_point(const std::string& text, CurvePoint& point)
{
    char* end;
    point.celsius = strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != ':' || !std::isfinite(point.celsius))
        return "a point is TEMP:RPM, not \"" + text + "\"";
    if (point.celsius < kColdest || point.celsius > kHottest)
        return "temperature " + text.substr(0, text.find(':')) + " is not from -40 to 150 °C";
    const char* speed = end + 1;
    long rpm = strtol(speed, &end, 10);
    if (end == speed || *end != '\0')
        return "a point is TEMP:RPM, not \"" + text + "\"";
    if (rpm < 1 || rpm > kMaxRpm)
        return "speed " + std::string(speed) + " is not from 1 to 20000 rpm";
    point.rpm = int(rpm);
    return "";
}

std::string parse_curve(const std::string& text, Curve& curve)
{
    Curve points;  // the caller's curve is left as it was on a fault
    std::string item, last;
    for (std::size_t from = 0, comma; from < text.size(); from = comma + 1, last = item) {
        comma = std::min(text.find(',', from), text.size());
        item = text.substr(from, comma - from);
        CurvePoint point;
        if (std::string fault = parse_point(item, point); !fault.empty())
            return fault;
        if (!points.empty() && point.celsius <= points.back().celsius)
            return "temperatures must rise from point to point: " + item + " follows " + last;
        points.push_back(point);
    }
    if (points.empty() || text.back() == ',')
        return "a curve is TEMP:RPM points joined by commas";
    curve = std::move(points);
    return "";
}

int curve_rpm(const Curve& curve, double celsius)
{
    if (curve.empty() || celsius < curve.front().celsius)
        return 0;
    // The first point is at or below: the search for the first above starts past it.
    auto above = std::upper_bound(std::next(curve.begin()), curve.end(), celsius,
        [](double c, const CurvePoint& point) { return c < point.celsius; });
    if (above == curve.end())
        return curve.back().rpm;
    const CurvePoint &a = *std::prev(above), &b = *above;
    return int(std::lround(a.rpm + (b.rpm - a.rpm) * (celsius - a.celsius) / (b.celsius - a.celsius)));
}

Speed next_speed(const Curve& curve, double hysteresis, int step, Speed now, double celsius)
{
    int rpm = curve_rpm(curve, celsius);
    if (rpm < now.rpm && celsius > now.chosenAt - hysteresis)
        return now;
    // A hand-back or a take-over is never too small a change.
    if (rpm == now.rpm || (rpm != 0 && now.rpm != 0 && std::abs(rpm - now.rpm) < step))
        return now;
    return {rpm, celsius};
}

// A fan curve, TEMP:RPM points, and the choice of a speed on it: pure functions.
#pragma once

#include <string>
#include <vector>

// The helper takes speeds above 0 and up to 20000 rpm.
const int kMaxRpm = 20000;
// Beyond these a temperature input reads nothing real.
const double kColdest = -40, kHottest = 150;

struct CurvePoint {
    double celsius;
    int rpm;
};
using Curve = std::vector<CurvePoint>;

// A speed in force (0: the fans handed back) and the temperature at which it was chosen.
struct Speed {
    int rpm;
    double chosenAt;
};

// Parses "55:2000,70:3500,85:6000" into curve; the fault, or "" for a curve.
std::string parse_curve(const std::string& text, Curve& curve);
// Linear between points, the last speed above the last point, 0 (auto) below the first.
int curve_rpm(const Curve& curve, double celsius);
// The speed to be at now: up at once, down only hysteresis degrees below where the speed
// was chosen, and not at all for less than step rpm.
Speed next_speed(const Curve& curve, double hysteresis, int step, Speed now, double celsius);

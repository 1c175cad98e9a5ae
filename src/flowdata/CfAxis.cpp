#include "flowdata/CfAxis.h"
#include "flowdata/LowerCase.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace CfAxis {

namespace {

bool startsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

bool isOneOf(const std::string& text, std::initializer_list<const char*> words)
{
    return std::any_of(words.begin(), words.end(), [&](const char* w) { return text == w; });
}

bool vertical(const std::string& units)
{
    // Pressure and length units; a vertical axis also says which way is up.
    return isOneOf(units, {"pa",         "hpa", "kpa",   "mbar",   "millibar",    "millibars", "bar", "dbar",
                           "decibar",    "m",   "meter", "meters", "metre",       "metres",    "km",  "kilometer",
                           "kilometers", "cm",  "level", "layer",  "sigma_level", "1"});
}

} // namespace

Axis classify(const Attributes& a)
{
    const std::string axis = lowerCase(a.axis);
    if (axis == "x") {
        return Axis::X;
    }
    if (axis == "y") {
        return Axis::Y;
    }
    if (axis == "z") {
        return Axis::Z;
    }
    if (axis == "t") {
        return Axis::T;
    }
    const std::string units = lowerCase(a.units);
    if (isOneOf(units, {"degrees_east", "degree_east", "degree_e", "degrees_e", "degreee", "degreese"})) {
        return Axis::X;
    }
    if (isOneOf(units, {"degrees_north", "degree_north", "degree_n", "degrees_n", "degreen", "degreesn"})) {
        return Axis::Y;
    }
    if (secondsPerUnit(a.units) > 0.0) {
        return Axis::T;
    }
    if (!a.positive.empty() && vertical(units)) {
        return Axis::Z;
    }
    const std::string standard = lowerCase(a.standardName);
    if (isOneOf(standard, {"longitude", "grid_longitude", "projection_x_coordinate"})) {
        return Axis::X;
    }
    if (isOneOf(standard, {"latitude", "grid_latitude", "projection_y_coordinate"})) {
        return Axis::Y;
    }
    if (standard == "time") {
        return Axis::T;
    }
    if (isOneOf(standard, {"depth", "height", "altitude", "air_pressure", "model_level_number"}) ||
        startsWith(standard, "atmosphere_") || startsWith(standard, "ocean_")) {
        return Axis::Z;
    }
    return Axis::None;
}

bool geographic(const Attributes& a)
{
    return startsWith(lowerCase(a.units), "degree");
}

double secondsPerUnit(const std::string& units)
{
    const std::string text = lowerCase(units);
    const std::size_t since = text.find(" since ");
    if (since == std::string::npos) {
        return 0.0;
    }
    const std::string unit = text.substr(0, since);
    if (isOneOf(unit, {"s", "sec", "secs", "second", "seconds"})) {
        return 1.0;
    }
    if (isOneOf(unit, {"min", "mins", "minute", "minutes"})) {
        return 60.0;
    }
    if (isOneOf(unit, {"h", "hr", "hrs", "hour", "hours"})) {
        return 3600.0;
    }
    if (isOneOf(unit, {"d", "day", "days"})) {
        return 86400.0;
    }
    if (isOneOf(unit, {"week", "weeks"})) {
        return 7.0 * 86400.0;
    }
    // Calendar months and years as the units library defines them.
    if (isOneOf(unit, {"month", "months"})) {
        return 2629743.831225;
    }
    if (isOneOf(unit, {"year", "years", "yr"})) {
        return 31556925.9747;
    }
    return 0.0;
}

int vectorComponent(const std::string& name, const std::string& standardName)
{
    const std::string standard = lowerCase(standardName);
    if (!standard.empty()) {
        const bool flow = standard.find("velocity") != std::string::npos || standard.find("wind") != std::string::npos;
        const bool other = standard.find("stress") != std::string::npos || standard.find("flux") != std::string::npos ||
                           standard.find("shear") != std::string::npos || standard.find("speed") != std::string::npos;
        if (flow && !other) {
            if (startsWith(standard, "x_") || standard.find("eastward_") != std::string::npos) {
                return 0;
            }
            if (startsWith(standard, "y_") || standard.find("northward_") != std::string::npos) {
                return 1;
            }
            if (startsWith(standard, "z_") || standard.find("upward_") != std::string::npos) {
                return 2;
            }
        }
    }
    const std::string n = lowerCase(name);
    static const char* const names[3][8] = {
        {"u", "uwnd", "uvel", "ucur", "ua", "u_velocity", "water_u", "uwind"},
        {"v", "vwnd", "vvel", "vcur", "va", "v_velocity", "water_v", "vwind"},
        {"w", "wwnd", "wvel", "wcur", "wa", "w_velocity", "water_w", "wwind"},
    };
    for (int c = 0; c < 3; ++c) {
        for (const char* candidate : names[c]) {
            if (n == candidate) {
                return c;
            }
        }
    }
    return -1;
}

} // namespace CfAxis

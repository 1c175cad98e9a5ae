#pragma once

#include <string>

// What the CF conventions say a variable is, from its name and attributes.
namespace CfAxis {

enum class Axis { None, X, Y, Z, T };

// The attributes that tell a coordinate's axis.
struct Attributes {
    std::string name;
    std::string axis;
    std::string units;
    std::string standardName;
    std::string positive;
};

Axis classify(const Attributes& a);

// True for longitude and latitude: degrees, not lengths.
bool geographic(const Attributes& a);

// Seconds per unit of a "<unit> since <date>" text; 0 when it is not one.
double secondsPerUnit(const std::string& units);

// 0, 1 or 2 when the variable is the x, y or z component of a velocity or
// wind by its standard name or, failing that, its name; -1 otherwise.
int vectorComponent(const std::string& name, const std::string& standardName);

} // namespace CfAxis

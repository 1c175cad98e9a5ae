#include "ui/ValueAxis.h"

#include <sstream>

namespace ValueAxis {

float position(int k)
{
    return static_cast<float>(static_cast<double>(k) / sliderMaximum);
}

float opacity(int j)
{
    return static_cast<float>(static_cast<double>(j) / opacityMaximum);
}

std::string labelText(int k)
{
    std::ostringstream text;
    text << "Value: " << k << " (" << position(k) << ")";
    return text.str();
}

} // namespace ValueAxis

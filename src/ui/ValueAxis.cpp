#include "ui/ValueAxis.h"

#include <sstream>

namespace ValueAxis {

namespace {

int scaledWithin(float fraction, int maximum)
{
    const float scaled = maximum * fraction;
    if (!(scaled > 0.0f)) {
        return 0;
    }
    return scaled >= maximum ? maximum : static_cast<int>(scaled);
}

} // namespace

float position(int k)
{
    return static_cast<float>(static_cast<double>(k) / sliderMaximum);
}

float opacity(int j)
{
    return static_cast<float>(static_cast<double>(j) / opacityMaximum);
}

int sliderPosition(float position)
{
    return scaledWithin(position, sliderMaximum);
}

int opacitySliderPosition(float opacity)
{
    return scaledWithin(opacity, opacityMaximum);
}

std::string labelText(int k)
{
    std::ostringstream text;
    text << "Value: " << k << " (" << position(k) << ")";
    return text.str();
}

} // namespace ValueAxis

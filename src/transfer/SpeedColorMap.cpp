#include "transfer/SpeedColorMap.h"

#include <cmath>

namespace {
// Eleven evenly spaced samples of viridis, as 0..255 bytes.
constexpr unsigned char table[11][3] = {
    {68, 1, 84},    {72, 36, 117},  {65, 68, 135},  {53, 95, 141},  {42, 120, 142}, {33, 145, 140},
    {34, 168, 132}, {68, 191, 112}, {122, 209, 81}, {189, 223, 38}, {253, 231, 37},
};
constexpr int last = 10;
} // namespace

std::array<float, 3> SpeedColorMap::at(float t)
{
    if (!(t > 0)) {
        t = 0;
    }
    if (t > 1) {
        t = 1;
    }
    const float x = t * last;
    const int i = x >= last ? last - 1 : int(x);
    const float f = x - float(i);
    std::array<float, 3> colour;
    for (int c = 0; c < 3; ++c) {
        colour[size_t(c)] = ((1 - f) * table[i][c] + f * table[i + 1][c]) / 255.0f;
    }
    return colour;
}

std::array<float, 3> SpeedColorMap::ofSpeed(float speed, float slowest, float fastest)
{
    const float width = fastest - slowest;
    if (!(width > 0) || !std::isfinite(width)) {
        return at(1);
    }
    return at((speed - slowest) / width);
}

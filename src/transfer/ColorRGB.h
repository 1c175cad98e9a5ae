#pragma once

#include <cstdint>

// A colour as three channels on the 0..255 scale. No range check: lists read
// from a presets file may hold any value.
class ColorRGB {
public:
    ColorRGB() = default;
    ColorRGB(int32_t r, int32_t g, int32_t b);

    int32_t r = 0;
    int32_t g = 0;
    int32_t b = 0;
};

bool operator==(const ColorRGB& a, const ColorRGB& b);
bool operator!=(const ColorRGB& a, const ColorRGB& b);

#include "transfer/ColorRGB.h"

ColorRGB::ColorRGB(int32_t r, int32_t g, int32_t b) : r(r), g(g), b(b) {}

bool operator==(const ColorRGB& a, const ColorRGB& b)
{
    return a.r == b.r && a.g == b.g && a.b == b.b;
}

bool operator!=(const ColorRGB& a, const ColorRGB& b)
{
    return !(a == b);
}

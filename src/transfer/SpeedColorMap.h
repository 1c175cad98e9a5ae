#pragma once

#include <array>

// The perceptual colour map that shows speed wherever the view shows flow:
// dark blue-violet for the slowest, through blue and green, to yellow for the
// fastest. Lightness rises steadily along it, so it reads in grey too.
class SpeedColorMap {
public:
    // Red, green and blue on 0 .. 1 at position t, clamped to 0 .. 1.
    static std::array<float, 3> at(float t);
    // The colour of speed on the range slowest .. fastest; a range without
    // width (or a bad one) gives the fastest colour.
    static std::array<float, 3> ofSpeed(float speed, float slowest, float fastest);
};

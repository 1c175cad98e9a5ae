#pragma once

#include "transfer/ColorRGB.h"

#include <deque>
#include <utility>
#include <vector>

// Maps a normalised value (0..1) to a colour and an opacity. Colour and
// opacity each have their own list of control points, sorted by position and
// interpolated linearly in between. A fresh function is a grey ramp whose
// opacity rises with the value.
class Transferfunction {
public:
    using ColorPoint = std::pair<float, ColorRGB>;
    using AlphaPoint = std::pair<float, float>;

    // Entries of the transfer texture that buildRGBATable fills, 4 bytes each.
    static constexpr unsigned tableSize = 4096;

    Transferfunction();

    void reset();
    void resetColor();
    void resetAlpha();

    // Insert or replace a point; the position is clamped to 0..1.
    void setColor(float position, const ColorRGB& value);
    void setAlpha(float position, float value);

    // The end points are never removed, only made black (transparent).
    void removeColor(float position);
    void removeAlpha(float position);

    ColorRGB getColor(float position) const;
    float getAlpha(float position) const;

    // Control point positions next to a position, for stepping through points.
    float nextColorPosition(float position) const;
    float previousColorPosition(float position) const;
    float nextAlphaPosition(float position) const;
    float previousAlphaPosition(float position) const;

    // count evenly spaced samples at i / count; position 1 is never sampled.
    std::vector<ColorRGB> sampleColors(unsigned count) const;
    std::vector<float> sampleAlphas(unsigned count) const;

    // tableSize RGBA entries covering 0..1 with both ends included.
    std::vector<unsigned char> buildRGBATable() const;

    std::deque<ColorPoint> color;
    std::deque<AlphaPoint> alpha;
};

bool operator==(const Transferfunction& a, const Transferfunction& b);
bool operator!=(const Transferfunction& a, const Transferfunction& b);

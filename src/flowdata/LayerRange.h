#pragma once

#include <cmath>
#include <cstddef>

// The common range of one layer over all frames, from the frames' raw
// extremes, and the rescaling of raw values onto 0 .. 1 with it. Both run in
// double precision, so that neither a range wider than the float range nor
// one narrower than the smallest float breaks the rescaling.
class LayerRange {
public:
    LayerRange() = default;
    LayerRange(double lo, double hi) : lo(lo), inverse(hi > lo ? 1.0 / (hi - lo) : 0.0) {}

    // Non-finite raw values become 0, like every value of a layer that is 0
    // everywhere; the rest are clamped to 0 .. 1 against rounding.
    float operator()(float raw) const
    {
        const double v = (double(raw) - lo) * inverse;
        if (!std::isfinite(raw)) {
            return 0.0f;
        }
        return float(v < 0.0 ? 0.0 : v > 1.0 ? 1.0 : v);
    }

    // out[i] = (*this)(raw[i * stride]) for i < count, on whole vectors.
    void rescale(const float* raw, std::size_t count, std::size_t stride, float* out) const;

private:
    double lo = 0.0;
    double inverse = 0.0;
};

#pragma once

#include <algorithm>
#include <cstddef>

// The histogram bin of a value on 0 .. 1: the value divided by the
// single-precision bin width 1 / bins, in double precision, truncated.
// A multiply estimates the quotient and two exact products correct the
// estimate, which gives the same bin without a division per value.
class HistogramBin {
public:
    explicit HistogramBin(std::size_t bins) : bins(bins), width(1.0f / static_cast<float>(bins)), inverse(1.0 / width)
    {
    }

    // Only for values on 0 .. 1; the result never exceeds bins.
    std::size_t operator()(float value) const
    {
        const double v = value;
        std::size_t k = static_cast<std::size_t>(v * inverse);
        if (static_cast<double>(k) * width > v) {
            --k;
        } else if (static_cast<double>(k + 1) * width <= v) {
            ++k;
        }
        return std::min(k, bins);
    }

private:
    std::size_t bins;
    double width;
    double inverse;
};

#include "flowdata/LayerRange.h"

#include "flowdata/Avx2.h"
#include "flowdata/FiniteFloat.h"

#include <algorithm>

// The same steps as operator(), without branches, so that they run on whole vectors.
QUORVANE_AVX2_CLONES void LayerRange::rescale(const float* raw, std::size_t count, std::size_t stride, float* out) const
{
    const double low = lo;
    const double scale = inverse;
    for (std::size_t i = 0; i < count; ++i) {
        const float value = raw[i * stride];
        const double v = (double(value) - low) * scale;
        const float clamped = float(std::min(std::max(v, 0.0), 1.0));
        out[i] = isFiniteFloat(value) ? clamped : 0.0f;
    }
}

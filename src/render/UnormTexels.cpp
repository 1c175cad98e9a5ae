#include "render/UnormTexels.h"

#include <cstring>

namespace {

// Four lanes of the compiler's vector extension: with plain loops the
// compiler branches on the clamp and converts one float at a time.
using Floats = float __attribute__((vector_size(16)));
using Ints = int32_t __attribute__((vector_size(16)));

// Adding and taking away 2^23 rounds a float in 0 .. 2^23 to an integer
// under the default rounding mode, ties to even (-ffast-math would fold it
// away). Scaling before clamping
// gives the same for every float; NaN stays NaN when scaled and becomes 0 as
// it fails 0 < scaled.
Ints unorm(const float* four, float largest)
{
    Floats v;
    std::memcpy(&v, four, sizeof v);
    const Floats zero = {0, 0, 0, 0}, top = {largest, largest, largest, largest};
    const Floats shift = {8388608.0f, 8388608.0f, 8388608.0f, 8388608.0f};
    const Floats scaled = v * top;
    const Floats low = scaled > zero ? scaled : zero;
    const Floats clamped = low < top ? low : top;
    return __builtin_convertvector(clamped + shift - shift, Ints);
}

} // namespace

void toUnorm8Rgba(const float* rgb, std::size_t texels, uint8_t* out)
{
    std::size_t t = 0;
    for (; t + 4 <= texels; t += 4) {
        const Ints a = unorm(rgb + 3 * t, 255), b = unorm(rgb + 3 * t + 4, 255), c = unorm(rgb + 3 * t + 8, 255);
        const uint8_t four[16] = {uint8_t(a[0]), uint8_t(a[1]), uint8_t(a[2]), 255, //
                                  uint8_t(a[3]), uint8_t(b[0]), uint8_t(b[1]), 255, //
                                  uint8_t(b[2]), uint8_t(b[3]), uint8_t(c[0]), 255, //
                                  uint8_t(c[1]), uint8_t(c[2]), uint8_t(c[3]), 255};
        std::memcpy(out + 4 * t, four, sizeof four);
    }
    for (; t < texels; ++t) {
        const float last[4] = {rgb[3 * t], rgb[3 * t + 1], rgb[3 * t + 2], 0};
        const Ints a = unorm(last, 255);
        const uint8_t one[4] = {uint8_t(a[0]), uint8_t(a[1]), uint8_t(a[2]), 255};
        std::memcpy(out + 4 * t, one, sizeof one);
    }
}

void toUnorm16(const float* values, std::size_t count, uint16_t* out)
{
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const Ints a = unorm(values + i, 65535);
        for (int k = 0; k < 4; ++k) {
            out[i + std::size_t(k)] = uint16_t(a[k]);
        }
    }
    for (; i < count; ++i) {
        const float last[4] = {values[i], 0, 0, 0};
        out[i] = uint16_t(unorm(last, 65535)[0]);
    }
}

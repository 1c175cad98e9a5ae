#pragma once

#include <cstddef>
#include <cstdint>

// Texels converted from floats the way GL converts them to normalised
// unsigned integers: clamped to 0 .. 1 (NaN to 0), scaled and rounded to
// nearest, ties to even. Uploaded in the texture's own format, the driver
// copies them instead of converting each texel in software.

// texels RGB floats to RGBA bytes with a full alpha.
void toUnorm8Rgba(const float* rgb, std::size_t texels, uint8_t* rgba);

// count floats to 16-bit values.
void toUnorm16(const float* values, std::size_t count, uint16_t* out);

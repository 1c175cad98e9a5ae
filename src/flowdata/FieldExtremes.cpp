#include "flowdata/FieldExtremes.h"

#include "flowdata/Avx2.h"
#include "flowdata/FiniteFloat.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr float largest = std::numeric_limits<float>::max();
constexpr float infinity = std::numeric_limits<float>::infinity();

using Floats4 = float __attribute__((vector_size(16)));
using Floats8 = float __attribute__((vector_size(32)));

template <class Lanes> using MaskOf = decltype(Lanes() < Lanes());

// Each accumulator stays in a register while it runs down its lanes through
// every chunk; the squared length is computed in every lane and counts only
// in the lanes where a record begins. The last chunk reads two floats into
// the record after it, which the caller guarantees exists.
template <class Lanes>
inline __attribute__((always_inline)) void scanChunks(const float* data, std::size_t chunks, std::size_t fields,
                                                      float* lows, float* highs, float* squaredLows,
                                                      float* squaredHighs)
{
    using Mask = MaskOf<Lanes>;
    constexpr std::size_t width = sizeof(Lanes) / sizeof(float);
    const std::size_t stride = width * fields;
    for (std::size_t k = 0; k < fields; ++k) {
        Lanes low, high, squaredLow, squaredHigh, x, y, z;
        std::memcpy(&low, lows + k * width, sizeof low);
        std::memcpy(&high, highs + k * width, sizeof high);
        std::memcpy(&squaredLow, squaredLows + k * width, sizeof squaredLow);
        std::memcpy(&squaredHigh, squaredHighs + k * width, sizeof squaredHigh);
        const float* f = data + k * width;
        for (std::size_t c = 0; c < chunks; ++c, f += stride) {
            std::memcpy(&x, f, sizeof x);
            std::memcpy(&y, f + 1, sizeof y);
            std::memcpy(&z, f + 2, sizeof z);
            // Not finite (all exponent bits set) becomes 0, which every range holds.
            const Mask bits = (Mask)x;
            const Lanes v = (Lanes)(bits & ((bits & 0x7fffffff) <= 0x7f7fffff));
            low = v < low ? v : low;
            high = v > high ? v : high;
            const Lanes squared = x * x + y * y + z * z;
            // inf and NaN fail the test, so a length that is not finite counts nowhere.
            const Mask counts = squared <= largest;
            // Selected first, so that each accumulator waits on one instruction per chunk.
            const Lanes lowCandidate = counts ? squared : infinity;
            const Lanes highCandidate = (Lanes)(counts & (Mask)squared);
            squaredLow = lowCandidate < squaredLow ? lowCandidate : squaredLow;
            squaredHigh = highCandidate > squaredHigh ? highCandidate : squaredHigh;
        }
        std::memcpy(lows + k * width, &low, sizeof low);
        std::memcpy(highs + k * width, &high, sizeof high);
        std::memcpy(squaredLows + k * width, &squaredLow, sizeof squaredLow);
        std::memcpy(squaredHighs + k * width, &squaredHigh, sizeof squaredHigh);
    }
}

QUORVANE_AVX2 void scanChunks8(const float* data, std::size_t chunks, std::size_t fields, float* lows, float* highs,
                               float* squaredLows, float* squaredHighs)
{
    scanChunks<Floats8>(data, chunks, fields, lows, highs, squaredLows, squaredHighs);
}

void scanChunks4(const float* data, std::size_t chunks, std::size_t fields, float* lows, float* highs,
                 float* squaredLows, float* squaredHighs)
{
    scanChunks<Floats4>(data, chunks, fields, lows, highs, squaredLows, squaredHighs);
}

inline float finiteOrZero(float v)
{
    return isFiniteFloat(v) ? v : 0.0f;
}

} // namespace

FieldExtremes::FieldExtremes(uint32_t fields)
    : fields(std::max<uint32_t>(fields, 3)), width(hasAvx2() ? 8 : 4), lows(width * this->fields, 0.0f),
      highs(width * this->fields, 0.0f), squaredLows(width * this->fields, infinity),
      squaredHighs(width * this->fields, 0.0f)
{
}

void FieldExtremes::add(const float* records, std::size_t count)
{
    // The last chunk is left to the tail, so the chunks never read past the records.
    const std::size_t chunks = count > 0 ? (count - 1) / width : 0;
    (width == 8 ? scanChunks8 : scanChunks4)(records, chunks, fields, lows.data(), highs.data(), squaredLows.data(),
                                             squaredHighs.data());
    const std::size_t done = chunks * width;
    addTail(records + done * fields, count - done);
}

void FieldExtremes::merge(const FieldExtremes& other)
{
    for (std::size_t j = 0; j < lows.size(); ++j) {
        lows[j] = std::min(lows[j], other.lows[j]);
        highs[j] = std::max(highs[j], other.highs[j]);
        squaredLows[j] = std::min(squaredLows[j], other.squaredLows[j]);
        squaredHighs[j] = std::max(squaredHighs[j], other.squaredHighs[j]);
    }
}

void FieldExtremes::addTail(const float* records, std::size_t count)
{
    for (std::size_t r = 0; r < count; ++r) {
        const float* record = records + r * fields;
        for (uint32_t f = 0; f < fields; ++f) {
            const float v = finiteOrZero(record[f]);
            lows[f] = std::min(lows[f], v);
            highs[f] = std::max(highs[f], v);
        }
        const float squared = record[0] * record[0] + record[1] * record[1] + record[2] * record[2];
        if (squared <= largest) {
            squaredLows[0] = std::min(squaredLows[0], squared);
            squaredHighs[0] = std::max(squaredHighs[0], squared);
        }
    }
}

float FieldExtremes::low(uint32_t field) const
{
    float result = 0.0f;
    for (std::size_t j = field; j < lows.size(); j += fields) {
        result = std::min(result, lows[j]);
    }
    return result;
}

float FieldExtremes::high(uint32_t field) const
{
    float result = 0.0f;
    for (std::size_t j = field; j < highs.size(); j += fields) {
        result = std::max(result, highs[j]);
    }
    return result;
}

float FieldExtremes::slowestSquared() const
{
    float result = infinity;
    for (std::size_t j = 0; j < squaredLows.size(); j += fields) {
        result = std::min(result, squaredLows[j]);
    }
    return result;
}

float FieldExtremes::fastestSquared() const
{
    float result = 0.0f;
    for (std::size_t j = 0; j < squaredHighs.size(); j += fields) {
        result = std::max(result, squaredHighs[j]);
    }
    return result;
}

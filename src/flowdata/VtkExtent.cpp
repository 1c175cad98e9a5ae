#include "flowdata/VtkExtent.h"

#include <algorithm>
#include <cstdlib>

namespace {
// Extents beyond this are hostile: no grid has 2^31 nodes along an axis.
constexpr int64_t boundLimit = int64_t(1) << 31;
} // namespace

bool VtkExtent::parse(const char* text, VtkExtent& extent)
{
    const char* at = text;
    for (int64_t& bound : extent.bounds) {
        char* end = nullptr;
        const long long value = std::strtoll(at, &end, 10);
        if (end == at || value < -boundLimit || value > boundLimit) {
            return false;
        }
        bound = value;
        at = end;
    }
    while (*at == ' ' || *at == '\t' || *at == '\n' || *at == '\r') {
        ++at;
    }
    return *at == '\0';
}

bool VtkExtent::empty() const
{
    return bounds[1] < bounds[0] || bounds[3] < bounds[2] || bounds[5] < bounds[4];
}

std::array<uint64_t, 3> VtkExtent::counts() const
{
    if (empty()) {
        return {{0, 0, 0}};
    }
    return {{uint64_t(bounds[1] - bounds[0] + 1), uint64_t(bounds[3] - bounds[2] + 1),
             uint64_t(bounds[5] - bounds[4] + 1)}};
}

uint64_t VtkExtent::nodes() const
{
    // Each count is at most 2^32 + 1, so a product of three can overflow:
    // it saturates instead, which every size check then refuses.
    const std::array<uint64_t, 3> n = counts();
    const unsigned __int128 product = (unsigned __int128)n[0] * n[1] * n[2];
    return product > UINT64_MAX / 64 ? UINT64_MAX / 64 : uint64_t(product);
}

bool VtkExtent::inside(const VtkExtent& outer) const
{
    return bounds[0] >= outer.bounds[0] && bounds[1] <= outer.bounds[1] && bounds[2] >= outer.bounds[2] &&
           bounds[3] <= outer.bounds[3] && bounds[4] >= outer.bounds[4] && bounds[5] <= outer.bounds[5];
}

VtkExtent VtkExtent::joined(const VtkExtent& other) const
{
    if (empty()) {
        return other;
    }
    if (other.empty()) {
        return *this;
    }
    VtkExtent both;
    for (int axis = 0; axis < 3; ++axis) {
        both.bounds[2 * axis] = std::min(bounds[2 * axis], other.bounds[2 * axis]);
        both.bounds[2 * axis + 1] = std::max(bounds[2 * axis + 1], other.bounds[2 * axis + 1]);
    }
    return both;
}

uint64_t VtkExtent::index(int64_t i, int64_t j, int64_t k) const
{
    const std::array<uint64_t, 3> n = counts();
    return uint64_t(i - bounds[0]) + n[0] * (uint64_t(j - bounds[2]) + n[1] * uint64_t(k - bounds[4]));
}

void VtkExtent::place(const char* values, VtkValueType type, bool bigEndian, int components, const VtkExtent& piece,
                      const VtkExtent& whole, float* out)
{
    const std::array<uint64_t, 3> n = piece.counts();
    const std::size_t rowValues = n[0] * components;
    const std::size_t rowBytes = rowValues * VtkValues::size(type);
    for (int64_t k = piece.bounds[4]; k <= piece.bounds[5]; ++k) {
        for (int64_t j = piece.bounds[2]; j <= piece.bounds[3]; ++j) {
            const uint64_t row = piece.index(piece.bounds[0], j, k) / n[0];
            VtkValues::toFloats(values + row * rowBytes, rowValues, type, bigEndian,
                                out + whole.index(piece.bounds[0], j, k) * components);
        }
    }
}

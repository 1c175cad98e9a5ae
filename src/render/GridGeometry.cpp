#include "render/GridGeometry.h"

#include <algorithm>
#include <cmath>

namespace {
// Deviation from the plane, in units of the normalised box, below which a
// slice still counts as flat: far below a pixel at any usable zoom.
constexpr float flatTolerance = 1e-4f;
} // namespace

GridGeometry::GridGeometry(const std::vector<float>& positions, const std::array<uint32_t, 3>& size)
    : size(size), positions(positions)
{
    const uint64_t nodes = uint64_t(size[0]) * size[1] * size[2];
    ok = nodes > 0 && positions.size() / 3 >= nodes;
    if (!ok) {
        return;
    }
    const float* origin = raw(0, 0, 0);
    extent[0] = raw(size[0] - 1, 0, 0)[0] - origin[0];
    extent[1] = raw(0, size[1] - 1, 0)[1] - origin[1];
    extent[2] = raw(0, 0, size[2] - 1)[2] - origin[2];
    for (int a = 0; a < 3; ++a) {
        centre[a] = origin[a] + extent[a] / 2;
    }
    // Magnitudes, so that a grid running towards negative coordinates is
    // normalised like its mirror image; a flat point or bad numbers keep 1.
    const float longest = std::max({std::fabs(extent[0]), std::fabs(extent[1]), std::fabs(extent[2])});
    factor = (std::isfinite(longest) && longest > 0) ? 1.0f / longest : 1.0f;
}

const float* GridGeometry::raw(uint32_t i, uint32_t j, uint32_t k) const
{
    const uint64_t n = (uint64_t(k) * size[1] + j) * size[0] + i;
    return positions.data() + 3 * n;
}

std::array<float, 3> GridGeometry::normalise(float x, float y, float z) const
{
    return {{(x - centre[0]) * factor, (y - centre[1]) * factor, (z - centre[2]) * factor}};
}

std::array<float, 3> GridGeometry::node(uint32_t i, uint32_t j, uint32_t k) const
{
    const float* p = raw(i, j, k);
    return normalise(p[0], p[1], p[2]);
}

bool GridGeometry::sliceIsFlat(uint32_t k) const
{
    if (size[0] < 2 || size[1] < 2) {
        return true;
    }
    const std::array<float, 3> o = node(0, 0, k);
    const std::array<float, 3> pi = node(1, 0, k);
    const std::array<float, 3> pj = node(0, 1, k);
    for (uint32_t j = 0; j < size[1]; ++j) {
        for (uint32_t i = 0; i < size[0]; ++i) {
            const std::array<float, 3> p = node(i, j, k);
            for (int a = 0; a < 3; ++a) {
                const float expected = o[a] + float(i) * (pi[a] - o[a]) + float(j) * (pj[a] - o[a]);
                if (!(std::fabs(p[a] - expected) <= flatTolerance)) {
                    return false;
                }
            }
        }
    }
    return true;
}

std::array<float, 3> GridGeometry::sliceCentre(uint32_t k) const
{
    std::array<double, 3> sum{{0, 0, 0}};
    for (uint32_t j = 0; j < size[1]; ++j) {
        for (uint32_t i = 0; i < size[0]; ++i) {
            const std::array<float, 3> p = node(i, j, k);
            for (int a = 0; a < 3; ++a) {
                sum[a] += p[a];
            }
        }
    }
    const double nodes = double(size[0]) * size[1];
    return {{float(sum[0] / nodes), float(sum[1] / nodes), float(sum[2] / nodes)}};
}

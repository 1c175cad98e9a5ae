#include "render/SliceOrder.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

// z of the eye in model space: the z row of -A^-1 t, with A the upper 3x3 of
// the model-view matrix and t its translation.
float eyeDepth(const float m[16])
{
    // Column-major: element (row r, column c) is m[c * 4 + r].
    auto a = [m](int r, int c) { return double(m[c * 4 + r]); };
    const double det = a(0, 0) * (a(1, 1) * a(2, 2) - a(1, 2) * a(2, 1)) -
                       a(0, 1) * (a(1, 0) * a(2, 2) - a(1, 2) * a(2, 0)) +
                       a(0, 2) * (a(1, 0) * a(2, 1) - a(1, 1) * a(2, 0));
    if (det == 0 || !std::isfinite(det))
        return 0;
    // Third row of the inverse (cofactors of the third column of A, transposed).
    const double inv20 = (a(1, 0) * a(2, 1) - a(1, 1) * a(2, 0)) / det;
    const double inv21 = (a(0, 1) * a(2, 0) - a(0, 0) * a(2, 1)) / det;
    const double inv22 = (a(0, 0) * a(1, 1) - a(0, 1) * a(1, 0)) / det;
    return float(-(inv20 * m[12] + inv21 * m[13] + inv22 * m[14]));
}

} // namespace

std::vector<int> slicesBackToFront(const float modelView[16], const std::vector<float>& depths)
{
    const float eye = eyeDepth(modelView);
    std::vector<int> order(depths.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return std::fabs(depths[a] - eye) > std::fabs(depths[b] - eye); });
    return order;
}

#include "render/SliceOrder.h"

#include <algorithm>
#include <cmath>
#include <numeric>

float eyeDistanceSquared(const float m[16], const std::array<float, 3>& p)
{
    // Column-major: element (row r, column c) is m[c * 4 + r].
    float sum = 0;
    for (int r = 0; r < 3; ++r) {
        const float e = m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2] + m[12 + r];
        sum += e * e;
    }
    return sum;
}

std::vector<int> slicesBackToFront(const float modelView[16], const std::vector<std::array<float, 3>>& centres)
{
    std::vector<float> distance(centres.size());
    for (size_t k = 0; k < centres.size(); ++k) {
        distance[k] = eyeDistanceSquared(modelView, centres[k]);
        // A slice with bad positions still gets a place in a strict order.
        if (std::isnan(distance[k])) {
            distance[k] = 0;
        }
    }
    std::vector<int> order(centres.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return distance[a] > distance[b]; });
    return order;
}

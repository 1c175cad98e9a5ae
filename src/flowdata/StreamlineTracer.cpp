#include "flowdata/StreamlineTracer.h"

#include <algorithm>
#include <cmath>

namespace {
using Vec = std::array<double, 3>;

Vec cross(const Vec& a, const Vec& b)
{
    return {{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]}};
}

double dot(const Vec& a, const Vec& b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

double length(const Vec& a)
{
    return std::sqrt(dot(a, a));
}
} // namespace

StreamlineTracer::StreamlineTracer(const std::vector<float>& positions, const std::array<uint32_t, 3>& size,
                                   const std::vector<float>& vectors, float maxSpeed)
    : positions(positions), vectors(vectors), size(size)
{
    const uint64_t nodes = uint64_t(size[0]) * size[1] * size[2];
    int flat = 0;
    for (int a = 0; a < 3; ++a) {
        if (size[a] == 1) {
            flatAxis = a;
            ++flat;
        }
    }
    ok = nodes > 0 && flat <= 1 && positions.size() / 3 >= nodes && vectors.size() / 3 >= nodes;
    fastest = std::isfinite(maxSpeed) ? maxSpeed : 0.0;
}

bool StreamlineTracer::evaluate(const Vec& xi, Vec& direction, Vec* position, double* speed) const
{
    uint64_t node = 0;
    uint64_t stride[3];
    double f[3];
    uint64_t along = 3;
    for (int a = 0; a < 3; ++a) {
        const double last = double(size[a] - 1);
        if (!(xi[a] >= 0 && xi[a] <= last)) {
            return false;
        }
        // A one-node axis has no upper corner: its stride 0 repeats the node
        // with weight 0.
        const uint32_t base = size[a] < 2 ? 0 : std::min(uint32_t(xi[a]), size[a] - 2);
        f[a] = xi[a] - base;
        stride[a] = size[a] < 2 ? 0 : along;
        node += base * along;
        along *= size[a];
    }
    // Trilinear interpolation of the flow and the positions over the cell's
    // corners; the Jacobian's columns are the positions' derivatives.
    const float* vs = vectors.data() + node;
    const float* ps = positions.data() + node;
    Vec v{{0, 0, 0}}, p{{0, 0, 0}};
    Vec column[3] = {{{0, 0, 0}}, {{0, 0, 0}}, {{0, 0, 0}}};
    for (int corner = 0; corner < 8; ++corner) {
        const int u[3] = {corner & 1, (corner >> 1) & 1, (corner >> 2) & 1};
        const double w[3] = {u[0] ? f[0] : 1 - f[0], u[1] ? f[1] : 1 - f[1], u[2] ? f[2] : 1 - f[2]};
        const double sign[3] = {u[0] ? 1.0 : -1.0, u[1] ? 1.0 : -1.0, u[2] ? 1.0 : -1.0};
        const double weight = w[0] * w[1] * w[2];
        const double dWeight[3] = {sign[0] * w[1] * w[2], w[0] * sign[1] * w[2], w[0] * w[1] * sign[2]};
        const uint64_t n = u[0] * stride[0] + u[1] * stride[1] + u[2] * stride[2];
        for (int c = 0; c < 3; ++c) {
            const double x = ps[n + c];
            v[c] += weight * vs[n + c];
            p[c] += weight * x;
            column[0][c] += dWeight[0] * x;
            column[1][c] += dWeight[1] * x;
            column[2][c] += dWeight[2] * x;
        }
    }
    // A one-node-thick grid has no extent along its flat axis: the normal of
    // the sheet stands in, and the flow across the sheet is dropped.
    if (flatAxis >= 0) {
        column[flatAxis] = cross(column[(flatAxis + 1) % 3], column[(flatAxis + 2) % 3]);
    }
    // Solve J a = v by Cramer's rule.
    const Vec r0 = cross(column[1], column[2]), r1 = cross(column[2], column[0]), r2 = cross(column[0], column[1]);
    const double det = dot(column[0], r0);
    const double scaleOf = length(column[0]) * length(column[1]) * length(column[2]);
    if (!(std::fabs(det) > 1e-9 * scaleOf)) {
        return false;
    }
    direction = {{dot(v, r0) / det, dot(v, r1) / det, dot(v, r2) / det}};
    if (flatAxis >= 0) {
        direction[flatAxis] = 0;
    }
    const double norm = length(direction);
    if (!(norm > 0) || !std::isfinite(norm)) {
        return false;
    }
    for (double& d : direction) {
        d /= norm;
    }
    if (position) {
        *position = p;
    }
    if (speed) {
        *speed = length(v);
    }
    return true;
}

void StreamlineTracer::traceOneWay(const Vec& seed, double h, Streamline& line) const
{
    Vec xi = seed, k1, k2, k3, k4, at;
    if (!evaluate(xi, k1, nullptr, nullptr)) {
        return;
    }
    auto offset = [&](const Vec& k, double by) {
        return Vec{{xi[0] + by * k[0], xi[1] + by * k[1], xi[2] + by * k[2]}};
    };
    for (int n = 0; n < maxSteps; ++n) {
        if (!evaluate(offset(k1, h / 2), k2, nullptr, nullptr) || !evaluate(offset(k2, h / 2), k3, nullptr, nullptr) ||
            !evaluate(offset(k3, h), k4, nullptr, nullptr)) {
            return;
        }
        for (int a = 0; a < 3; ++a) {
            at[a] = xi[a] + h / 6 * (k1[a] + 2 * k2[a] + 2 * k3[a] + k4[a]);
        }
        Vec position;
        double speed = 0;
        // The new point's direction starts the next step.
        if (!evaluate(at, k1, &position, &speed) || speed < stopFraction * fastest) {
            return;
        }
        xi = at;
        line.points.push_back({{float(position[0]), float(position[1]), float(position[2])}});
        line.speeds.push_back(float(speed));
    }
}

Streamline StreamlineTracer::trace(const std::array<float, 3>& seed) const
{
    Streamline line;
    const Vec start{{seed[0], seed[1], seed[2]}};
    Vec direction, position;
    double speed = 0;
    if (!ok || !evaluate(start, direction, &position, &speed) || speed < stopFraction * fastest) {
        return line;
    }
    // Backwards first, then turned round, so the line runs with the flow.
    traceOneWay(start, -step, line);
    std::reverse(line.points.begin(), line.points.end());
    std::reverse(line.speeds.begin(), line.speeds.end());
    line.points.push_back({{float(position[0]), float(position[1]), float(position[2])}});
    line.speeds.push_back(float(speed));
    traceOneWay(start, step, line);
    return line;
}

std::vector<Streamline> StreamlineTracer::traceAll(const std::vector<std::array<float, 3>>& seeds) const
{
    std::vector<Streamline> lines;
    for (const std::array<float, 3>& seed : seeds) {
        Streamline line = trace(seed);
        if (line.points.size() >= 2) {
            lines.push_back(std::move(line));
        }
    }
    return lines;
}

std::vector<std::array<float, 3>> StreamlineTracer::seedLattice(const std::array<uint32_t, 3>& size, uint32_t perSide)
{
    std::vector<std::array<float, 3>> seeds;
    if (size[0] == 0 || size[1] == 0 || size[2] == 0) {
        return seeds;
    }
    std::vector<uint32_t> slices{0};
    if (size[2] > 2) {
        slices.push_back((size[2] - 1) / 2);
    }
    for (uint32_t k : slices) {
        for (uint32_t b = 0; b < perSide; ++b) {
            for (uint32_t a = 0; a < perSide; ++a) {
                seeds.push_back({{(float(a) + 0.5f) / float(perSide) * float(size[0] - 1),
                                  (float(b) + 0.5f) / float(perSide) * float(size[1] - 1), float(k)}});
            }
        }
    }
    return seeds;
}

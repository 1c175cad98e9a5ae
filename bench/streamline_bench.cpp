// streamline_bench: traces the 512 seeds of the view's lattice (16 x 16 on the
// bottom and the middle slice) through one frame of a 128 x 128 x 64 curved
// grid holding a swirl with an updraught, on one thread. The floor is one
// pass over the frame's vectors, the least any tracer of it costs.
//   streamline_bench [RUNS]
#include "flowdata/StreamlineTracer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

constexpr uint32_t X = 128, Y = 128, Z = 64;

double bestOf(int runs, const std::function<void()>& work)
{
    double best = 1e300;
    for (int r = 0; r < runs; ++r) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best =
            std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    std::vector<float> positions, vectors;
    float fastest = 0;
    for (uint32_t k = 0; k < Z; ++k) {
        for (uint32_t j = 0; j < Y; ++j) {
            for (uint32_t i = 0; i < X; ++i) {
                const float bend = 3.0f * std::sin(float(i) / 40) * std::sin(float(j) / 40);
                positions.insert(positions.end(), {float(i), float(j), 2.0f * float(k) + bend});
                const float x = float(i) - 64, y = float(j) - 64;
                const float v[3] = {-y / 64, x / 64, 0.3f};
                vectors.insert(vectors.end(), v, v + 3);
                fastest = std::max(fastest, std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]));
            }
        }
    }
    const std::array<uint32_t, 3> size{{X, Y, Z}};
    const auto seeds = StreamlineTracer::seedLattice(size, 16);
    size_t points = 0, lines = 0;
    const double traced = bestOf(runs, [&] {
        const StreamlineTracer tracer(positions, size, vectors, fastest);
        const std::vector<Streamline> all = tracer.traceAll(seeds);
        lines = all.size();
        points = 0;
        for (const Streamline& line : all) {
            points += line.points.size();
        }
    });
    volatile double sink = 0;
    const double floor = bestOf(runs, [&] {
        double sum = 0;
        for (float v : vectors) {
            sum += v;
        }
        sink = sum;
    });
    std::printf("%zu seeds on %ux%ux%u: %zu lines, %zu points, %.1f ms; one pass over the vectors %.2f ms\n",
                seeds.size(), X, Y, Z, lines, points, traced, floor);
    std::printf("streamline_ms=%.1f floor_ms=%.2f budget_ms=500\n", traced, floor);
    return 0;
}

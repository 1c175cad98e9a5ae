#pragma once

#include <array>
#include <cstdint>
#include <vector>

// An analytic, time-varying flow on a structured grid: a pair of
// counter-rotating vortices drifting through the box along x. Layer 0 is
// the speed, layer 1 the signed vorticity about z, layer 2 the vertical
// velocity, further layers smooth travelling waves.
class FlowGenerator {
public:
    struct Settings {
        std::array<uint32_t, 3> size{{1, 1, 1}};
        int32_t layers = 0;
        // As written in the grid header: F > 1 means F + 1 frame files.
        int32_t frames = 0;
        float timestep = 0.1f;
        // Bends the grid lines so the grid is not uniform.
        bool curved = false;
    };

    explicit FlowGenerator(const Settings& settings);

    const Settings& settings() const { return config; }
    uint64_t nodeCount() const;
    int32_t frameFileCount() const;

    // x, y, z of every node, x fastest, then y, then z.
    std::vector<float> positions() const;

    // The records of nodes first .. first + count - 1 of one frame:
    // vx, vy, vz and one value per layer each.
    void records(int32_t frame, uint64_t first, uint64_t count, float* out) const;

private:
    std::array<float, 3> position(uint32_t i, uint32_t j, uint32_t k) const;

    Settings config;
    float spacing;
};

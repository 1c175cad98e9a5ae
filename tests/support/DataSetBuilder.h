#pragma once

#include "flowdata/FlowData.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// A data set of X x Y x Z nodes described by functions of the frame, layer
// and node: made in memory as a successful load leaves it, or written as a
// grid file and frame files.
struct DataSetBuilder {
    using Vec3 = std::array<float, 3>;

    uint32_t X, Y, Z;
    int frames = 1, layers = 0;
    std::function<Vec3(uint32_t, uint32_t, uint32_t)> position = [](uint32_t i, uint32_t j, uint32_t k) {
        return Vec3{{float(i), float(j), float(k)}};
    };
    std::function<Vec3(int, uint32_t, uint32_t, uint32_t)> vector = [](int, uint32_t, uint32_t, uint32_t) {
        return Vec3{{0, 0, 0}};
    };
    std::function<float(int, int, uint32_t, uint32_t, uint32_t)> value = [](int, int, uint32_t, uint32_t, uint32_t) {
        return 0.0f;
    };

    std::unique_ptr<FlowData> build() const;

    // Writes BASE.gri, whose header claims headerFrames frames, and one frame
    // file per frame, BASE_000.dat on; returns the grid file's path.
    std::string write(const std::string& basePath, int headerFrames, float timestep) const;
};

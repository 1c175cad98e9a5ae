#pragma once

#include "flowdata/DataLayer.h"

#include <array>
#include <cstdint>
#include <vector>

// One time step: three vector components per node and the scalar layers.
class DataFrame {
public:
    std::vector<float> vectors;
    std::vector<DataLayer> layers;
    std::array<uint32_t, 3> size{{0, 0, 0}};
    // Smallest and largest vector length of this frame; non-finite lengths are skipped.
    float speedMin = 0.0f;
    float speedMax = 0.0f;
};

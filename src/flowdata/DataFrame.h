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
};

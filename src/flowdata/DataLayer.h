#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// One scalar layer of one frame: a value per node, raw when read and
// rescaled to 0 .. 1 over all frames once the whole set is loaded.
class DataLayer {
public:
    std::string name;
    std::vector<float> values;
    std::array<uint32_t, 3> size{{0, 0, 0}};
    uint32_t nodeCount = 0;
    // Raw extremes of this frame, both starting from 0: min <= 0 <= max.
    float min = 0.0f;
    float max = 0.0f;
};

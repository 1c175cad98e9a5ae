#pragma once

#include "flowdata/DataFrame.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Reads one frame file: a record of 3 + layerCount floats per grid node.
// Each reader keeps its own block buffer, so one reader per thread.
class FrameReader {
public:
    enum class Result { Read, CannotOpen, TooShort };

    FrameReader(const std::array<uint32_t, 3>& size, uint32_t layerCount);

    // Fills frame with the vectors and raw layer values (with their extremes)
    // of the first X*Y*Z records; extra records are not read.
    Result read(const std::string& path, DataFrame& frame);

private:
    void split(const float* records, std::size_t count, std::size_t first, DataFrame& frame) const;

    std::array<uint32_t, 3> size;
    uint32_t layerCount;
    uint64_t nodeCount;
    uint64_t recordFloats;
    std::vector<float> block;
};

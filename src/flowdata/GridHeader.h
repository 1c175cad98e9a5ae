#pragma once

#include <cstddef>
#include <cstdint>

// The six numbers at the start of a grid file: "SN4DB" followed by X, Y, Z,
// the layer count, the frame count and the time step, separated by blanks.
class GridHeader {
public:
    static constexpr std::size_t byteCount = 40;

    // Parses at most byteCount bytes of text. Fields are filled in order and
    // the parse stops at the first one that does not match, so the rest keep
    // the values they had. Returns how many numbers matched.
    int parse(const char* text, std::size_t length);

    int32_t x = 0;
    int32_t y = 0;
    int32_t z = 0;
    int32_t layers = 0;
    int32_t frames = 0;
    float timestep = 0.0f;
};

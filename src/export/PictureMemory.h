#pragma once

#include <cstdint>
#include <string>

// What drawing and writing pictures of one size costs in memory, four bytes
// a pixel per buffer: the off-screen colour and depth buffers, the read-back
// and, for a picture, its PNG copy; for a movie, the pictures waiting for the
// encoder and its own.
class PictureMemory {
public:
    static uint64_t needed(int width, int height, bool movie);
    // Why pictures of width x height do not fit in available bytes; empty
    // when they do.
    static std::string problem(int width, int height, bool movie, uint64_t available);
};

#pragma once

#include "platform/cg/cgGL.h"

#include <cstdint>
#include <string>

// Reads a GLSL source file and builds a separable program for a profile's
// stage. On failure it raises the layer's error (the text names the file and
// carries the compiler's log) and returns 0.
class CgCompiler {
public:
    static unsigned int compileFile(const std::string& file, CGprofile profile);

    // Longer sources are refused rather than read: ours are a few hundred bytes.
    static constexpr std::uintmax_t maxSourceBytes = 1 << 20;
};

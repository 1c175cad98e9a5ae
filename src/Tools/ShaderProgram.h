#pragma once

#include "platform/cg/cgGL.h"

#include <cstdint>
#include <map>
#include <string>

// One compiled and loaded program. Copies share the handles, which belong to
// the shader context and live until the process ends.
struct ShaderProgram {
    std::string name;
    int32_t kind = 0; // 0 vertex, 1 fragment
    CGprogram program = nullptr;
    CGprofile profile = CG_PROFILE_UNKNOWN;
    // One entry per requested name; null when the program has no such parameter.
    std::map<std::string, CGparameter> parameters;
};

#pragma once

#include "platform/cg/cgGL.h"

#include <string>
#include <vector>

// The two GLSL profiles: their names, the GL stage each drives and the
// compiler options each reports as optimal. GLSL takes no compiler options,
// so both lists start empty; tests fill them to see how callers report them.
class CgProfiles {
public:
    static bool known(CGprofile profile);
    // GL_VERTEX_SHADER or GL_FRAGMENT_SHADER.
    static unsigned int shaderType(CGprofile profile);
    // GL_VERTEX_SHADER_BIT or GL_FRAGMENT_SHADER_BIT.
    static unsigned int stageBit(CGprofile profile);
    static const char* name(CGprofile profile);
    // A null-terminated list that stays valid until the next change.
    static const char** optimalOptions(CGprofile profile);
    static void setOptimalOptions(CGprofile profile, const std::vector<std::string>& options);
};

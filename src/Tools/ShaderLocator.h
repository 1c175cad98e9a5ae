#pragma once

#include <string>

// Where a shader file is read from: the name as given (relative names resolve
// against the current directory), else the same file name in the folder of
// the running program, else in the folder the build copies the shaders to.
// When none holds it the name comes back unchanged, so the error names it.
class ShaderLocator {
public:
    static std::string locate(const std::string& file);
};

#pragma once

#include "Tools/ShaderProgram.h"

#include <map>
#include <string>

// Owns the shader context and every program the renderer uses, by name.
// A single instance, created on first use and never destroyed. Every failure
// is thrown as Tool::Exception.
class CGShaderManager {
public:
    static CGShaderManager& instance();

    // Needs the rendering context current.
    void initialise();
    ShaderProgram createProgram(const std::string& name, CGenum sourceType, int32_t kind, const std::string& file,
                                const std::string& entry, std::map<std::string, CGparameter> parameterNames);
    void bindProgram(const std::string& name);
    void unbindProgram(const std::string& name);

    CGcontext context = nullptr;
    std::map<std::string, ShaderProgram> programs;

private:
    CGShaderManager() = default;
};

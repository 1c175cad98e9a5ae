#include "Tools/CGShaderManager.h"

#include "Tools/ShaderLocator.h"
#include "diagnostics/Exception.h"
#include "diagnostics/Logger.h"

namespace {

void checkError(const char* source)
{
    const CGerror error = cgGetError();
    if (error != CG_NO_ERROR) {
        TOOL_THROW(source, cgGetErrorString(error));
    }
}

std::string quoted(const std::string& name)
{
    return "Shader with name: \"" + name + "\"";
}

} // namespace

CGShaderManager& CGShaderManager::instance()
{
    static CGShaderManager* manager = new CGShaderManager();
    return *manager;
}

void CGShaderManager::initialise()
{
    context = cgCreateContext();
    checkError("CGShaderManager::initialise()");
    cgGLRegisterStates(context);
    cgGLSetDebugMode(CG_TRUE);
    cgSetParameterSettingMode(context, CG_DEFERRED_PARAMETER_SETTING);
}

ShaderProgram CGShaderManager::createProgram(const std::string& name, CGenum sourceType, int32_t kind,
                                             const std::string& file, const std::string& entry,
                                             std::map<std::string, CGparameter> parameterNames)
{
    static const char* const source = "CGShaderManager::createProgram()";
    if (programs.count(name)) {
        TOOL_THROW(source, quoted(name) + " already exists");
    }
    if (kind != 0 && kind != 1) {
        TOOL_THROW(source, quoted(name) + " has kind " + std::to_string(kind) + ": 0 is vertex, 1 is fragment");
    }

    const CGprofile profile = cgGLGetLatestProfile(kind == 0 ? CG_GL_VERTEX : CG_GL_FRAGMENT);
    const char** options = cgGLGetOptimalOptions(profile);
    if (options && options[0]) {
        std::string details = std::string("\n\t\t\t\"") + cgGetProfileString(profile) + "\"";
        for (const char** option = options; *option; ++option) {
            details += std::string("\n\t\t\t") + *option;
        }
        Tool::log("CGShaderManager::createProgram(" + name + ")", "Optimal Options", details);
    }
    checkError(source);

    const std::string path = ShaderLocator::locate(file);
    CGprogram program = cgCreateProgramFromFile(context, sourceType, path.c_str(), profile, entry.c_str(), nullptr);
    checkError(source);
    cgGLLoadProgram(program);
    checkError(source);

    ShaderProgram record;
    record.name = name;
    for (const auto& parameter : parameterNames) {
        record.parameters[parameter.first] = cgGetNamedParameter(program, parameter.first.c_str());
    }
    record.profile = profile;
    record.program = program;
    record.kind = kind;
    programs[name] = record;
    return record;
}

void CGShaderManager::bindProgram(const std::string& name)
{
    static const char* const source = "CGShaderManager::bindProgram()";
    const auto found = programs.find(name);
    if (found == programs.end()) {
        TOOL_THROW(source, quoted(name) + " doesn't exists");
    }
    cgGLEnableProfile(found->second.profile);
    checkError(source);
    cgGLBindProgram(found->second.program);
    checkError(source);
}

void CGShaderManager::unbindProgram(const std::string& name)
{
    static const char* const source = "CGShaderManager::unbindProgram()";
    const auto found = programs.find(name);
    if (found == programs.end()) {
        TOOL_THROW(source, quoted(name) + " doesn't exists");
    }
    cgGLUnbindProgram(found->second.profile);
    checkError(source);
    cgGLDisableProfile(found->second.profile);
    checkError(source);
}

#include "platform/cg/CgCompiler.h"

#include "platform/cg/CgError.h"
#include "platform/cg/CgProfiles.h"

#include <GL/glew.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace {

bool readSource(const std::string& file, std::string& source)
{
    std::error_code error;
    const std::filesystem::path path(file);
    if (!std::filesystem::is_regular_file(path, error)) {
        CgError::raise(CG_FILE_READ_ERROR, "Cannot open the shader file \"" + file + "\"");
        return false;
    }
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error || size > CgCompiler::maxSourceBytes) {
        CgError::raise(CG_FILE_READ_ERROR, "The shader file \"" + file + "\" is too large to be a shader");
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) {
        CgError::raise(CG_FILE_READ_ERROR, "Cannot read the shader file \"" + file + "\"");
        return false;
    }
    source = text.str();
    return true;
}

std::string programLog(GLuint object)
{
    GLint length = 0;
    glGetProgramiv(object, GL_INFO_LOG_LENGTH, &length);
    if (length <= 1)
        return "no log";
    std::string log(static_cast<size_t>(length), '\0');
    glGetProgramInfoLog(object, length, nullptr, &log[0]);
    log.resize(log.find('\0') == std::string::npos ? log.size() : log.find('\0'));
    return log;
}

} // namespace

unsigned int CgCompiler::compileFile(const std::string& file, CGprofile profile)
{
    std::string source;
    if (!readSource(file, source))
        return 0;
    const char* text = source.c_str();
    const GLuint object = glCreateShaderProgramv(CgProfiles::shaderType(profile), 1, &text);
    if (object == 0) {
        CgError::raise(CG_COMPILER_ERROR, "\"" + file + "\": no program object could be created");
        return 0;
    }
    GLint linked = GL_FALSE;
    glGetProgramiv(object, GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) {
        CgError::raise(CG_COMPILER_ERROR, "\"" + file + "\" does not compile:\n" + programLog(object));
        glDeleteProgram(object);
        return 0;
    }
    return object;
}

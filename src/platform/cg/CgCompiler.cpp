#include "platform/cg/CgCompiler.h"

#include "platform/cg/CgError.h"
#include "platform/cg/CgProfiles.h"

#include <GL/glew.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

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

std::string infoLog(GLuint object, bool isShader)
{
    GLint length = 0;
    if (isShader) {
        glGetShaderiv(object, GL_INFO_LOG_LENGTH, &length);
    } else {
        glGetProgramiv(object, GL_INFO_LOG_LENGTH, &length);
    }
    if (length <= 1) {
        return "no log";
    }
    std::vector<char> log(static_cast<size_t>(length), '\0');
    if (isShader) {
        glGetShaderInfoLog(object, length, nullptr, log.data());
    } else {
        glGetProgramInfoLog(object, length, nullptr, log.data());
    }
    return log.data();
}

} // namespace

unsigned int CgCompiler::compileFile(const std::string& file, CGprofile profile)
{
    std::string source;
    if (!readSource(file, source)) {
        return 0;
    }
    // Compiled and linked one after the other, so a source that does not
    // compile never reaches the linker.
    // The trailing comment names the stage: a driver that caches compiles by
    // source text must not take one stage's compile for the other's.
    const std::string stageMark = std::string("\n// stage ") + CgProfiles::name(profile) + "\n";
    const char* texts[] = {source.c_str(), stageMark.c_str()};
    const GLuint shader = glCreateShader(CgProfiles::shaderType(profile));
    glShaderSource(shader, 2, texts, nullptr);
    glCompileShader(shader);
    GLint compiled = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled != GL_TRUE) {
        CgError::raise(CG_COMPILER_ERROR, "\"" + file + "\" does not compile:\n" + infoLog(shader, true));
        glDeleteShader(shader);
        return 0;
    }
    const GLuint object = glCreateProgram();
    glProgramParameteri(object, GL_PROGRAM_SEPARABLE, GL_TRUE);
    glAttachShader(object, shader);
    glLinkProgram(object);
    glDetachShader(object, shader);
    glDeleteShader(shader);
    GLint linked = GL_FALSE;
    glGetProgramiv(object, GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) {
        CgError::raise(CG_COMPILER_ERROR, "\"" + file + "\" does not link:\n" + infoLog(object, false));
        glDeleteProgram(object);
        return 0;
    }
    return object;
}

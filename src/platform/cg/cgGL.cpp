#include "platform/cg/cgGL.h"

#include "platform/cg/CgCompiler.h"
#include "platform/cg/CgError.h"
#include "platform/cg/CgMatrix.h"
#include "platform/cg/CgObjects.h"
#include "platform/cg/CgProfiles.h"
#include "platform/cg/CgStages.h"

#include <GL/glew.h>

#include <string>

namespace {

bool glReady()
{
    if (glGetString(GL_VERSION) == nullptr) {
        CgError::raise(CG_INVALID_CONTEXT_HANDLE_ERROR, "No OpenGL context is current");
        return false;
    }
    glewInit();
    if (!glProgramParameteri || !glGenProgramPipelines || !glUseProgramStages || !glBindProgramPipeline ||
        !glProgramUniformMatrix4fv || !glGetUniformIndices || !glGetActiveUniformsiv) {
        CgError::raise(CG_INVALID_CONTEXT_HANDLE_ERROR, "The OpenGL context offers no separable shader programs");
        return false;
    }
    return true;
}

bool checkContext(CGcontext context)
{
    if (CgRegistry::isContext(context)) {
        return true;
    }
    CgError::raise(CG_INVALID_CONTEXT_HANDLE_ERROR, "Invalid context handle");
    return false;
}

bool checkProfile(CGprofile profile)
{
    if (CgProfiles::known(profile)) {
        return true;
    }
    CgError::raise(CG_INVALID_PROFILE_ERROR, "Unknown profile " + std::to_string(static_cast<int>(profile)));
    return false;
}

bool checkProgram(CGprogram program)
{
    if (CgRegistry::isProgram(program)) {
        return true;
    }
    CgError::raise(CG_INVALID_PROGRAM_HANDLE_ERROR, "Invalid program handle");
    return false;
}

// The GL type of a uniform known to be active, for the matrix check.
GLenum uniformType(GLuint object, const char* name)
{
    GLuint index = GL_INVALID_INDEX;
    glGetUniformIndices(object, 1, &name, &index);
    if (index == GL_INVALID_INDEX) {
        return 0;
    }
    GLint type = 0;
    glGetActiveUniformsiv(object, 1, &index, GL_UNIFORM_TYPE, &type);
    return static_cast<GLenum>(type);
}

} // namespace

CGcontext cgCreateContext()
{
    if (!glReady()) {
        return nullptr;
    }
    return CgRegistry::addContext(CgStages::createPipeline());
}

CGerror cgGetError()
{
    return CgError::take();
}

const char* cgGetErrorString(CGerror error)
{
    return CgError::text(error);
}

// There are no effect states to register; the call only checks its context.
void cgGLRegisterStates(CGcontext context)
{
    checkContext(context);
}

// Every call checks its arguments in any mode, so there is nothing to switch.
void cgGLSetDebugMode(CGbool) {}

// Values go straight into the program object, so they are in effect at the
// next draw under either mode.
void cgSetParameterSettingMode(CGcontext context, CGenum mode)
{
    if (!checkContext(context)) {
        return;
    }
    if (mode != CG_DEFERRED_PARAMETER_SETTING && mode != CG_IMMEDIATE_PARAMETER_SETTING) {
        CgError::raise(CG_INVALID_ENUMERANT_ERROR, "Unknown parameter setting mode");
    }
}

CGprofile cgGLGetLatestProfile(CGGLenum profileClass)
{
    if (profileClass == CG_GL_VERTEX) {
        return CG_PROFILE_GLSLV;
    }
    if (profileClass == CG_GL_FRAGMENT) {
        return CG_PROFILE_GLSLF;
    }
    CgError::raise(CG_INVALID_ENUMERANT_ERROR, "A profile class is CG_GL_VERTEX or CG_GL_FRAGMENT");
    return CG_PROFILE_UNKNOWN;
}

const char** cgGLGetOptimalOptions(CGprofile profile)
{
    if (!checkProfile(profile)) {
        return nullptr;
    }
    return CgProfiles::optimalOptions(profile);
}

const char* cgGetProfileString(CGprofile profile)
{
    return CgProfiles::name(profile);
}

// Compiler arguments are not supported and are ignored; GLSL programs start at "main".
CGprogram cgCreateProgramFromFile(CGcontext context, CGenum programType, const char* programFile, CGprofile profile,
                                  const char* entry, const char**)
{
    if (!checkContext(context) || !checkProfile(profile)) {
        return nullptr;
    }
    if (programType != CG_SOURCE) {
        CgError::raise(CG_INVALID_ENUMERANT_ERROR, "Only source programs (CG_SOURCE) can be read");
        return nullptr;
    }
    if (!programFile) {
        CgError::raise(CG_FILE_READ_ERROR, "No shader file name given");
        return nullptr;
    }
    if (!entry || std::string(entry) != "main") {
        CgError::raise(CG_COMPILER_ERROR, std::string("\"") + programFile + "\": the entry point must be \"main\"");
        return nullptr;
    }
    const unsigned int object = CgCompiler::compileFile(programFile, profile);
    if (object == 0) {
        return nullptr;
    }
    return CgRegistry::addProgram(context, profile, object);
}

void cgGLLoadProgram(CGprogram program)
{
    if (checkProgram(program)) {
        program->loaded = true;
    }
}

// A name the program does not use gives a null handle and no error.
CGparameter cgGetNamedParameter(CGprogram program, const char* name)
{
    if (!checkProgram(program) || !name) {
        return nullptr;
    }
    const GLint location = glGetUniformLocation(program->object, name);
    if (location < 0) {
        return nullptr;
    }
    return CgRegistry::addParameter(program, name, location, uniformType(program->object, name));
}

void cgGLEnableProfile(CGprofile profile)
{
    if (checkProfile(profile)) {
        CgStages::enable(profile);
    }
}

void cgGLBindProgram(CGprogram program)
{
    if (!checkProgram(program)) {
        return;
    }
    if (!program->loaded) {
        CgError::raise(CG_PROGRAM_NOT_LOADED_ERROR, "The program has not been loaded");
        return;
    }
    CgStages::bind(program);
}

void cgGLUnbindProgram(CGprofile profile)
{
    if (checkProfile(profile)) {
        CgStages::unbind(profile);
    }
}

void cgGLDisableProfile(CGprofile profile)
{
    if (checkProfile(profile)) {
        CgStages::disable(profile);
    }
}

void cgGLSetStateMatrixParameter(CGparameter parameter, CGGLenum matrix, CGGLenum transform)
{
    if (!CgRegistry::isParameter(parameter)) {
        CgError::raise(CG_INVALID_PARAMETER_ERROR, "Invalid parameter handle");
        return;
    }
    if (parameter->type != GL_FLOAT_MAT4) {
        CgError::raise(CG_INVALID_PARAMETER_ERROR, "The parameter is not a 4x4 float matrix");
        return;
    }
    float values[16];
    if (!CgMatrix::stateMatrix(matrix, transform, values)) {
        CgError::raise(CG_INVALID_ENUMERANT_ERROR, "Unsupported state matrix or transform");
        return;
    }
    glProgramUniformMatrix4fv(parameter->program->object, parameter->location, 1, GL_FALSE, values);
}

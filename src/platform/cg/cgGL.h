#pragma once

// The shader-program calls the renderer uses, with their familiar names and
// meanings, implemented on GLSL: every program is a separable GLSL program
// object, and one program pipeline carries the bound vertex and fragment
// programs. A stage with nothing bound runs the fixed-function pipeline.
// Profiles report themselves as "glslv" and "glslf".

typedef struct _CGcontext* CGcontext;
typedef struct _CGprogram* CGprogram;
typedef struct _CGparameter* CGparameter;

typedef int CGbool;
#define CG_FALSE 0
#define CG_TRUE 1

typedef enum {
    CG_NO_ERROR = 0,
    CG_INVALID_CONTEXT_HANDLE_ERROR = 1,
    CG_INVALID_PROGRAM_HANDLE_ERROR = 2,
    CG_INVALID_PROFILE_ERROR = 3,
    CG_FILE_READ_ERROR = 4,
    CG_COMPILER_ERROR = 5,
    CG_INVALID_ENUMERANT_ERROR = 6,
    CG_INVALID_PARAMETER_ERROR = 7,
    CG_PROGRAM_NOT_LOADED_ERROR = 8,
} CGerror;

typedef enum {
    CG_UNKNOWN = 4096,
    CG_SOURCE = 4112,
    CG_DEFERRED_PARAMETER_SETTING = 4133,
    CG_IMMEDIATE_PARAMETER_SETTING = 4132,
} CGenum;

typedef enum {
    CG_PROFILE_UNKNOWN = 6145,
    CG_PROFILE_GLSLV = 7007,
    CG_PROFILE_GLSLF = 7008,
} CGprofile;

typedef enum {
    CG_GL_MATRIX_IDENTITY = 0,
    CG_GL_MATRIX_TRANSPOSE = 1,
    CG_GL_MATRIX_INVERSE = 2,
    CG_GL_MATRIX_INVERSE_TRANSPOSE = 3,
    CG_GL_MODELVIEW_MATRIX = 4,
    CG_GL_PROJECTION_MATRIX = 5,
    CG_GL_TEXTURE_MATRIX = 6,
    CG_GL_MODELVIEW_PROJECTION_MATRIX = 7,
    CG_GL_VERTEX = 8,
    CG_GL_FRAGMENT = 9,
} CGGLenum;

CGcontext cgCreateContext();
CGerror cgGetError();
const char* cgGetErrorString(CGerror error);
void cgGLRegisterStates(CGcontext context);
void cgGLSetDebugMode(CGbool debug);
void cgSetParameterSettingMode(CGcontext context, CGenum mode);

CGprofile cgGLGetLatestProfile(CGGLenum profileClass);
const char** cgGLGetOptimalOptions(CGprofile profile);
const char* cgGetProfileString(CGprofile profile);

CGprogram cgCreateProgramFromFile(CGcontext context, CGenum programType, const char* programFile, CGprofile profile,
                                  const char* entry, const char** args);
void cgGLLoadProgram(CGprogram program);
CGparameter cgGetNamedParameter(CGprogram program, const char* name);

void cgGLEnableProfile(CGprofile profile);
void cgGLBindProgram(CGprogram program);
void cgGLUnbindProgram(CGprofile profile);
void cgGLDisableProfile(CGprofile profile);

void cgGLSetStateMatrixParameter(CGparameter parameter, CGGLenum matrix, CGGLenum transform);

#include "render/GLErrorCheck.h"

#include <GL/glew.h>
#include <GL/glu.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

bool GLErrorCheck::enabled()
{
#ifdef NDEBUG
    static const bool on = [] {
        const char* flag = std::getenv("QUORVANE_GL_CHECK");
        return flag != nullptr && *flag != '\0' && std::strcmp(flag, "0") != 0;
    }();
    return on;
#else
    return true;
#endif
}

void GLErrorCheck::after(const char* pass)
{
    if (!enabled()) {
        return;
    }
    GLenum error = glGetError();
    if (error == GL_NO_ERROR) {
        return;
    }
    // A lost context may report errors forever; a few say enough.
    for (int n = 0; n < 8 && error != GL_NO_ERROR; ++n, error = glGetError()) {
        const GLubyte* text = gluErrorString(error);
        std::fprintf(stderr, "OpenGL error after the %s: 0x%04x %s\n", pass, error,
                     text ? reinterpret_cast<const char*>(text) : "");
    }
    std::abort();
}

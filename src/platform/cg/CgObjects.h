#pragma once

#include "platform/cg/cgGL.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

// What the handles point to. Nothing is ever destroyed, so a handle stays
// valid until the process ends; the registry tells real handles from junk.

struct _CGparameter {
    CGprogram program = nullptr;
    int location = -1;
    unsigned int type = 0; // the uniform's GL type
};

struct _CGprogram {
    CGcontext context = nullptr;
    CGprofile profile = CG_PROFILE_UNKNOWN;
    unsigned int object = 0; // separable GL program object
    bool loaded = false;
    std::map<std::string, std::unique_ptr<_CGparameter>> parameters;
};

struct _CGcontext {
    // The program pipeline of the GL context current at creation; it runs
    // this context's bound programs.
    unsigned int pipeline = 0;
    std::vector<std::unique_ptr<_CGprogram>> programs;
};

class CgRegistry {
public:
    static CGcontext addContext(unsigned int pipeline);
    static CGprogram addProgram(CGcontext context, CGprofile profile, unsigned int object);
    // The same handle for every lookup of one name.
    static CGparameter addParameter(CGprogram program, const std::string& name, int location, unsigned int type);

    static bool isContext(CGcontext context);
    static bool isProgram(CGprogram program);
    static bool isParameter(CGparameter parameter);
};

#pragma once

#include "platform/cg/cgGL.h"

// The vertex and fragment stages of the one program pipeline. A stage runs
// its program while its profile is enabled and a program is bound to it;
// otherwise the fixed-function pipeline does that stage's work. The bound
// programs run in the pipeline of the context they were made in.
class CgStages {
public:
    // A new pipeline in the current GL context.
    static unsigned int createPipeline();
    static void enable(CGprofile profile);
    static void disable(CGprofile profile);
    static void bind(CGprogram program);
    static void unbind(CGprofile profile);
};

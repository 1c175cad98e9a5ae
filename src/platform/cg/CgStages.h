#pragma once

#include "platform/cg/cgGL.h"

// The vertex and fragment stages of the one program pipeline. A stage runs
// its program while its profile is enabled and a program is bound to it;
// otherwise the fixed-function pipeline does that stage's work. The pipeline
// belongs to the GL context current when the first layer context was made.
class CgStages {
public:
    static void createPipeline();
    static void enable(CGprofile profile);
    static void disable(CGprofile profile);
    static void bind(CGprogram program);
    static void unbind(CGprofile profile);
};

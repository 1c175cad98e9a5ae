#include "platform/cg/CgStages.h"

#include "platform/cg/CgObjects.h"
#include "platform/cg/CgProfiles.h"

#include <GL/glew.h>

namespace {

struct Stage {
    bool enabled = false;
    CGprogram program = nullptr;
};

GLuint pipeline = 0;
Stage vertexStage;
Stage fragmentStage;

Stage& stageOf(CGprofile profile)
{
    return profile == CG_PROFILE_GLSLV ? vertexStage : fragmentStage;
}

GLuint activeObject(const Stage& stage)
{
    return stage.enabled && stage.program ? stage.program->object : 0;
}

// Puts the stages into the pipeline; with both empty no pipeline is bound, so
// plain fixed-function drawing stays exactly as it was.
void apply()
{
    const GLuint vertex = activeObject(vertexStage);
    const GLuint fragment = activeObject(fragmentStage);
    glUseProgramStages(pipeline, GL_VERTEX_SHADER_BIT, vertex);
    glUseProgramStages(pipeline, GL_FRAGMENT_SHADER_BIT, fragment);
    glBindProgramPipeline(vertex || fragment ? pipeline : 0);
}

} // namespace

void CgStages::createPipeline()
{
    if (pipeline == 0)
        glGenProgramPipelines(1, &pipeline);
}

void CgStages::enable(CGprofile profile)
{
    stageOf(profile).enabled = true;
    apply();
}

void CgStages::disable(CGprofile profile)
{
    stageOf(profile).enabled = false;
    apply();
}

void CgStages::bind(CGprogram program)
{
    stageOf(program->profile).program = program;
    apply();
}

void CgStages::unbind(CGprofile profile)
{
    stageOf(profile).program = nullptr;
    apply();
}

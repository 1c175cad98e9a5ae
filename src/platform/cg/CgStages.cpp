#include "platform/cg/CgStages.h"

#include "platform/cg/CgObjects.h"
#include "platform/cg/CgProfiles.h"

#include <GL/glew.h>

namespace {

struct Stage {
    bool enabled = false;
    CGprogram program = nullptr;
};

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

// Puts both stages into the pipeline of the active programs' context; with
// both empty no pipeline is bound, so fixed-function drawing is untouched.
void apply()
{
    const GLuint vertex = activeObject(vertexStage);
    const GLuint fragment = activeObject(fragmentStage);
    if (!vertex && !fragment) {
        glBindProgramPipeline(0);
        return;
    }
    const CGprogram owner = vertex ? vertexStage.program : fragmentStage.program;
    const GLuint pipeline = owner->context->pipeline;
    glUseProgramStages(pipeline, GL_VERTEX_SHADER_BIT, vertex);
    glUseProgramStages(pipeline, GL_FRAGMENT_SHADER_BIT, fragment);
    glBindProgramPipeline(pipeline);
}

} // namespace

unsigned int CgStages::createPipeline()
{
    GLuint pipeline = 0;
    glGenProgramPipelines(1, &pipeline);
    return pipeline;
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

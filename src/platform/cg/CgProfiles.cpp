#include "platform/cg/CgProfiles.h"

#include <GL/glew.h>

namespace {

struct Options {
    std::vector<std::string> texts;
    std::vector<const char*> list{nullptr};
};

Options& optionsOf(CGprofile profile)
{
    static Options vertex;
    static Options fragment;
    return profile == CG_PROFILE_GLSLV ? vertex : fragment;
}

} // namespace

bool CgProfiles::known(CGprofile profile)
{
    return profile == CG_PROFILE_GLSLV || profile == CG_PROFILE_GLSLF;
}

unsigned int CgProfiles::shaderType(CGprofile profile)
{
    return profile == CG_PROFILE_GLSLV ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER;
}

unsigned int CgProfiles::stageBit(CGprofile profile)
{
    return profile == CG_PROFILE_GLSLV ? GL_VERTEX_SHADER_BIT : GL_FRAGMENT_SHADER_BIT;
}

const char* CgProfiles::name(CGprofile profile)
{
    switch (profile) {
    case CG_PROFILE_GLSLV:
        return "glslv";
    case CG_PROFILE_GLSLF:
        return "glslf";
    default:
        return "unknown";
    }
}

const char** CgProfiles::optimalOptions(CGprofile profile)
{
    return optionsOf(profile).list.data();
}

void CgProfiles::setOptimalOptions(CGprofile profile, const std::vector<std::string>& options)
{
    Options& target = optionsOf(profile);
    target.texts = options;
    target.list.clear();
    for (const std::string& option : target.texts) {
        target.list.push_back(option.c_str());
    }
    target.list.push_back(nullptr);
}

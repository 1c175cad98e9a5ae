#include "platform/cg/CgObjects.h"

#include <set>

namespace {

std::vector<std::unique_ptr<_CGcontext>>& contexts()
{
    static auto* all = new std::vector<std::unique_ptr<_CGcontext>>();
    return *all;
}

// One set per handle type, so a handle of one type never passes for another.
template <typename T> std::set<const T*>& handles()
{
    static auto* all = new std::set<const T*>();
    return *all;
}

} // namespace

CGcontext CgRegistry::addContext(unsigned int pipeline)
{
    contexts().push_back(std::make_unique<_CGcontext>());
    CGcontext context = contexts().back().get();
    context->pipeline = pipeline;
    handles<_CGcontext>().insert(context);
    return context;
}

CGprogram CgRegistry::addProgram(CGcontext context, CGprofile profile, unsigned int object)
{
    auto program = std::make_unique<_CGprogram>();
    program->context = context;
    program->profile = profile;
    program->object = object;
    context->programs.push_back(std::move(program));
    CGprogram handle = context->programs.back().get();
    handles<_CGprogram>().insert(handle);
    return handle;
}

CGparameter CgRegistry::addParameter(CGprogram program, const std::string& name, int location, unsigned int type)
{
    std::unique_ptr<_CGparameter>& slot = program->parameters[name];
    if (!slot) {
        slot = std::make_unique<_CGparameter>();
        slot->program = program;
        slot->location = location;
        slot->type = type;
        handles<_CGparameter>().insert(slot.get());
    }
    return slot.get();
}

bool CgRegistry::isContext(CGcontext context)
{
    return context && handles<_CGcontext>().count(context);
}

bool CgRegistry::isProgram(CGprogram program)
{
    return program && handles<_CGprogram>().count(program);
}

bool CgRegistry::isParameter(CGparameter parameter)
{
    return parameter && handles<_CGparameter>().count(parameter);
}

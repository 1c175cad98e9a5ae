#include "render/FrameTextures.h"

#include "diagnostics/Exception.h"
#include "diagnostics/Logger.h"
#include "flowdata/FlowData.h"
#include "render/VolumeTextures.h"

#include <GL/glew.h>

#include <algorithm>

namespace {
// Layer index standing for the vector texture.
constexpr int vectorKind = -1;

const char* sourceOf(int layer)
{
    return layer == vectorKind ? "FrameTextures::vectorTexture()" : "FrameTextures::layerTexture()";
}

const char* failureOf(int layer)
{
    return layer == vectorKind ? "Creating vector textures .. [FAILED]" : "Creating layer textures .. [FAILED]";
}
} // namespace

void FrameTextures::reset(const FlowData* newData, uint64_t newBudget)
{
    for (const unsigned int name : names()) {
        glDeleteTextures(1, &name);
    }
    sets.clear();
    failed.clear();
    bytes = 0;
    data = newData;
    budget = newBudget;
    vectorsFit = layersFit = false;
    const std::array<uint32_t, 3>* size = data ? data->getSize() : nullptr;
    nodes = size ? uint64_t((*size)[0]) * (*size)[1] * (*size)[2] : 0;
    if (!size) {
        return;
    }
    // One check per data set: a grid too large for a texture gets none.
    const std::string vectorProblem = volumeTooLarge(*size, GL_RGB8, GL_RGB);
    vectorsFit = vectorProblem.empty();
    if (!vectorsFit) {
        Tool::log("FrameTextures::reset()", failureOf(vectorKind), vectorProblem);
    }
    if (data->frames.empty() || data->frames.front().layers.empty()) {
        return;
    }
    const std::string layerProblem = volumeTooLarge(*size, GL_R16, GL_RED);
    layersFit = layerProblem.empty();
    if (!layersFit) {
        Tool::log("FrameTextures::reset()", failureOf(0), layerProblem);
    }
}

unsigned int FrameTextures::vectorTexture(uint32_t frame)
{
    return vectorsFit ? texture(frame, vectorKind) : 0;
}

unsigned int FrameTextures::layerTexture(uint32_t layer, uint32_t frame)
{
    return layersFit ? texture(frame, int(layer)) : 0;
}

std::vector<unsigned int> FrameTextures::names() const
{
    std::vector<unsigned int> all;
    for (const Set& set : sets) {
        if (set.vectors) {
            all.push_back(set.vectors);
        }
        for (unsigned int name : set.layers) {
            if (name) {
                all.push_back(name);
            }
        }
    }
    return all;
}

unsigned int FrameTextures::texture(uint32_t frame, int layer)
{
    auto found = std::find_if(sets.begin(), sets.end(), [frame](const Set& set) { return set.frame == frame; });
    const auto held = [layer](const Set& set) {
        if (layer == vectorKind) {
            return set.vectors;
        }
        return size_t(layer) < set.layers.size() ? set.layers[size_t(layer)] : 0u;
    };
    if (found != sets.end() && held(*found)) {
        sets.splice(sets.begin(), sets, found);
        return held(sets.front());
    }
    const unsigned int made = make(frame, layer);
    if (made == 0) {
        // The last picture stays: what was shown last of this kind, if anything.
        for (const Set& set : sets) {
            if (held(set)) {
                return held(set);
            }
        }
        return 0;
    }
    found = std::find_if(sets.begin(), sets.end(), [frame](const Set& set) { return set.frame == frame; });
    if (found == sets.end()) {
        sets.push_front(Set{frame, 0, {}});
    } else {
        sets.splice(sets.begin(), sets, found);
    }
    Set& set = sets.front();
    if (layer == vectorKind) {
        set.vectors = made;
    } else {
        set.layers.resize(std::max(set.layers.size(), size_t(layer) + 1), 0);
        set.layers[size_t(layer)] = made;
    }
    bytes += bytesOf(layer);
    evictBeyondBudget();
    return made;
}

// A texture that cannot be made is logged once; the view goes on without it.
unsigned int FrameTextures::make(uint32_t frame, int layer)
{
    const std::array<uint32_t, 3>* size = data ? data->getSize() : nullptr;
    if (!size || frame >= data->frames.size() || failed.count({frame, layer})) {
        return 0;
    }
    std::string problem;
    std::shared_ptr<const DataFrame> handle;
    try {
        handle = data->frame(frame);
    } catch (const Tool::Exception& e) {
        problem = e.text;
    }
    const float* texels = nullptr;
    if (handle && layer == vectorKind) {
        texels = handle->vectors.size() >= 3 * nodes ? handle->vectors.data() : nullptr;
        if (!texels) {
            problem = "frame " + std::to_string(frame) + " holds too few vectors";
        }
    } else if (handle) {
        const bool enough =
            size_t(layer) < handle->layers.size() && handle->layers[size_t(layer)].values.size() >= nodes;
        texels = enough ? handle->layers[size_t(layer)].values.data() : nullptr;
        if (!texels) {
            problem = "layer " + std::to_string(layer) + " of frame " + std::to_string(frame) + " holds too few values";
        }
    }
    unsigned int name = 0;
    if (texels) {
        glGenTextures(1, &name);
        const bool uploaded = layer == vectorKind ? uploadVolume(name, GL_RGB8, GL_RGB, *size, texels)
                                                  : uploadVolume(name, GL_R16, GL_RED, *size, texels);
        if (!uploaded) {
            glDeleteTextures(1, &name);
            name = 0;
            problem = "OpenGL refused the texture of frame " + std::to_string(frame) + " (out of memory?)";
        }
    }
    if (name == 0) {
        failed.insert({frame, layer});
        Tool::log(sourceOf(layer), failureOf(layer), problem);
    }
    return name;
}

// The front set is the one on show and always stays.
void FrameTextures::evictBeyondBudget()
{
    while (bytes > budget && sets.size() > 1) {
        const Set& last = sets.back();
        if (last.vectors) {
            glDeleteTextures(1, &last.vectors);
            bytes -= bytesOf(vectorKind);
        }
        for (size_t l = 0; l < last.layers.size(); ++l) {
            if (last.layers[l]) {
                glDeleteTextures(1, &last.layers[l]);
                bytes -= bytesOf(int(l));
            }
        }
        sets.pop_back();
    }
}

// What a texture costs the driver: RGB8 is held as four bytes a texel.
uint64_t FrameTextures::bytesOf(int layer) const
{
    return nodes * (layer == vectorKind ? 4 : 2);
}

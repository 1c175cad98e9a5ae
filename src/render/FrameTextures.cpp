#include "render/FrameTextures.h"

#include "diagnostics/Exception.h"
#include "diagnostics/Logger.h"
#include "flowdata/FlowData.h"
#include "flowdata/HugePages.h"
#include "render/UnormTexels.h"
#include "render/VolumeTextures.h"

#include <GL/glew.h>

#include <algorithm>
#include <future>
#include <iterator>
#include <new>

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
    missing.clear();
    texels = std::vector<uint16_t>(); // another data set's size, or none
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
    const std::string vectorProblem = volumeTooLarge(*size, GL_RGBA8, GL_RGBA);
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
    missing.clear();
    return vectorsFit ? texture(frame, vectorKind) : 0;
}

unsigned int FrameTextures::layerTexture(uint32_t layer, uint32_t frame)
{
    missing.clear();
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
        const auto reason = failed.find({frame, layer});
        missing = reason != failed.end() ? reason->second : "frame " + std::to_string(frame) + " is not loaded";
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
    evictBeyondBudget(layer);
    return made;
}

// A texture that cannot be made is logged once; the view goes on without it.
unsigned int FrameTextures::make(uint32_t frame, int layer)
{
    const std::array<uint32_t, 3>* size = data ? data->getSize() : nullptr;
    if (!size || frame >= data->frames.size() || failed.count({frame, layer})) {
        return 0;
    }
    // The frame is read and converted on a worker while the driver allocates
    // the texture here: on llvmpipe each takes about as long as the other.
    std::future<std::string> converting =
        std::async(std::launch::async | std::launch::deferred, [this, frame, layer] { return convert(frame, layer); });
    const unsigned int name = storage(frame, layer);
    std::string problem = converting.get();
    if (problem.empty() && name) {
        const bool filled = layer == vectorKind ? fillVolume(name, GL_RGBA, GL_UNSIGNED_BYTE, *size, texels.data())
                                                : fillVolume(name, GL_RED, GL_UNSIGNED_SHORT, *size, texels.data());
        if (filled) {
            return name;
        }
    }
    if (problem.empty()) {
        problem = "OpenGL refused the texture of frame " + std::to_string(frame) + " (out of memory?)";
    }
    glDeleteTextures(1, &name);
    failed[{frame, layer}] = problem;
    Tool::log(sourceOf(layer), failureOf(layer), problem);
    return 0;
}

// Fills texels with the texture's own format from frame's data, or says why
// it cannot. Runs beside storage(): touches neither GL nor the sets.
std::string FrameTextures::convert(uint32_t frame, int layer)
{
    std::shared_ptr<const DataFrame> handle;
    try {
        handle = data->frame(frame);
    } catch (const Tool::Exception& e) {
        return e.text;
    }
    if (layer == vectorKind) {
        if (handle->vectors.size() < 3 * nodes) {
            return "frame " + std::to_string(frame) + " holds too few vectors";
        }
        if (!reserve(2 * nodes)) { // four bytes a texel
            return "no memory for the texels of frame " + std::to_string(frame);
        }
        toUnorm8Rgba(handle->vectors.data(), nodes, reinterpret_cast<uint8_t*>(texels.data()));
        return std::string();
    }
    if (size_t(layer) >= handle->layers.size() || handle->layers[size_t(layer)].values.size() < nodes) {
        return "layer " + std::to_string(layer) + " of frame " + std::to_string(frame) + " holds too few values";
    }
    if (!reserve(nodes)) {
        return "no memory for the texels of frame " + std::to_string(frame);
    }
    toUnorm16(handle->layers[size_t(layer)].values.data(), nodes, texels.data());
    return std::string();
}

bool FrameTextures::reserve(std::size_t count)
{
    try {
        resizeOnHugePages(texels, count);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// Once the budget is full, the least recently used frames' textures go,
// except the set shown last and frame's own, and one of this kind keeps its
// storage for reuse: a new texture's first writes into fresh memory cost as
// much as its upload. Otherwise new storage; 0 when GL refuses it.
unsigned int FrameTextures::storage(uint32_t frame, int layer)
{
    unsigned int reused = 0;
    while (bytes + bytesOf(layer) > budget && sets.size() > 1) {
        auto victim =
            std::find_if(sets.rbegin(), std::prev(sets.rend()), [frame](const Set& set) { return set.frame != frame; });
        if (victim == std::prev(sets.rend())) {
            break;
        }
        const unsigned int kept = release(std::prev(victim.base()), reused ? Keep::nothing : kindOf(layer));
        reused = reused ? reused : kept;
    }
    if (reused) {
        return reused;
    }
    unsigned int name = 0;
    glGenTextures(1, &name);
    const std::array<uint32_t, 3>& size = *data->getSize();
    const bool made = layer == vectorKind ? allocateVolume(name, GL_RGBA8, GL_RGBA, size)
                                          : allocateVolume(name, GL_R16, GL_RED, size);
    if (!made) {
        glDeleteTextures(1, &name);
        return 0;
    }
    return name;
}

FrameTextures::Keep FrameTextures::kindOf(int layer)
{
    return layer == vectorKind ? Keep::vectors : Keep::layers;
}

// The front set is the one on show: once the other sets are gone, it keeps
// of its textures what fits, the one just made (of kind layer) always.
void FrameTextures::evictBeyondBudget(int layer)
{
    while (bytes > budget && sets.size() > 1) {
        release(std::prev(sets.end()), Keep::nothing);
    }
    Set& shown = sets.front();
    const auto drop = [&](unsigned int& name, int kind) {
        if (bytes > budget && name != 0 && kind != layer) {
            glDeleteTextures(1, &name);
            name = 0;
            bytes -= bytesOf(kind);
        }
    };
    drop(shown.vectors, vectorKind);
    for (size_t l = 0; l < shown.layers.size(); ++l) {
        drop(shown.layers[l], int(l));
    }
}

// Drops a set: its textures are deleted, except the first of the kind to
// keep, which is returned with its storage.
unsigned int FrameTextures::release(std::list<Set>::iterator set, Keep keep)
{
    unsigned int kept = 0;
    const auto drop = [&](unsigned int name, int layer) {
        if (name == 0) {
            return;
        }
        bytes -= bytesOf(layer);
        if (!kept && keep == kindOf(layer)) {
            kept = name;
        } else {
            glDeleteTextures(1, &name);
        }
    };
    drop(set->vectors, vectorKind);
    for (size_t l = 0; l < set->layers.size(); ++l) {
        drop(set->layers[l], int(l));
    }
    sets.erase(set);
    return kept;
}

// What a texture costs the driver: RGBA8 is four bytes a texel.
uint64_t FrameTextures::bytesOf(int layer) const
{
    return nodes * (layer == vectorKind ? 4 : 2);
}

#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <string>
#include <utility>
#include <vector>

class FlowData;

// The 3-D textures of the frames on show: per frame its vector texture and
// one per layer, each made from the data set's frame when it is first asked
// for, and kept, most recently used first, within a byte budget. The last
// set used always stays, so a frame whose data cannot be read (its file
// vanished or changed) shows the textures shown last, and so does a data set
// emptied by a failed load; standIn() tells a picture that must show its own
// frame. Needs the GL context; GL names are GLuint.
class FrameTextures {
public:
    // Releases every texture; the next ones come from data, which may be null.
    void reset(const FlowData* data, uint64_t budget);

    // The texture of frame f's vectors (RGBA8, alpha 1) or of layer l of
    // frame f (R16), made now if needed; 0 when there is none to show.
    unsigned int vectorTexture(uint32_t frame);
    unsigned int layerTexture(uint32_t layer, uint32_t frame);

    // Why the texture handed out last is not of the frame asked for (one shown
    // before stands in, or none); empty when it is.
    const std::string& standIn() const { return missing; }

    // Whether the data set's slices can be filled with data textures at all.
    bool canFill() const { return vectorsFit || layersFit; }
    // Every texture name held, for checks.
    std::vector<unsigned int> names() const;

private:
    // Textures of one kind share a format and size, so one's storage serves another.
    enum class Keep { nothing, vectors, layers };
    static Keep kindOf(int layer);

    struct Set {
        uint32_t frame;
        unsigned int vectors = 0;
        std::vector<unsigned int> layers;
    };

    unsigned int texture(uint32_t frame, int layer);
    unsigned int make(uint32_t frame, int layer);
    unsigned int storage(uint32_t frame, int layer);
    std::string convert(uint32_t frame, int layer);
    bool reserve(std::size_t count);
    void evictBeyondBudget(int layer);
    unsigned int release(std::list<Set>::iterator set, Keep keep);
    uint64_t bytesOf(int layer) const;

    const FlowData* data = nullptr;
    uint64_t nodes = 0;
    uint64_t budget = 0;
    uint64_t bytes = 0;
    bool vectorsFit = false;
    bool layersFit = false;
    std::list<Set> sets;                                    // most recently used first
    std::map<std::pair<uint32_t, int>, std::string> failed; // logged once each, with the reason
    std::string missing;
    std::vector<uint16_t> texels; // converted, reused from upload to upload
};

#pragma once

#include "flowdata/BinaryFile.h"
#include "flowdata/DataFrame.h"
#include "flowdata/FlowReader.h"
#include "flowdata/LayerRange.h"
#include "flowdata/LoadingProgress.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class FrameStore;

// The loaded flow data set: a structured grid of X x Y x Z nodes with fixed
// positions and, per frame, a vector and layerCount scalar values per node.
// It counts as loaded while frames is not empty.
//
// A load keeps of each frame only what it measured: its layers with their
// names and raw extremes, and its speed range; readers take a frame's data
// through frame(), from a store that reads it again from its file when it
// is needed. A set filled in memory instead (frames holding their vectors
// and values) hands out those.
class FlowData {
public:
    FlowData();
    FlowData(const FlowData&) = delete;
    FlowData& operator=(const FlowData&) = delete;
    ~FlowData();

    // Opens a data set of any known format through its reader, measures its
    // frames and rescales the layers. Does nothing while a set is loaded.
    // Throws Tool::Exception on failure and then leaves the set empty.
    void load(const std::string& path, LoadingProgress& dialog, const FlowReaderOptions& options = FlowReaderOptions());
    void unload();

    // The node counts, or null while no frame is loaded.
    const std::array<uint32_t, 3>* getSize() const;

    // bins + 1 values: log-scaled counts of layer values per bin, 1 at the
    // fullest bin; entry 0 always stays 0.
    std::vector<float> computeHistogram(int layer, int bins) const;

    // The data of one frame, layers rescaled; the handle keeps it alive while
    // held. Safe on any thread. Throws Tool::Exception when the frame cannot
    // be read.
    std::shared_ptr<const DataFrame> frame(std::size_t index) const;
    // Has a worker read and decode frame index ahead of its frame() call,
    // while frame shown stays.
    void prefetch(std::size_t index, std::size_t shown) const;
    // Where a loaded set's frames come from; null for a set filled in memory.
    const FrameStore* frameStore() const { return store.get(); }

    // Takes each layer's common range over all frames from the frames' raw
    // extremes, and rescales the values held in memory with it to 0 .. 1.
    void normalizeLayers();

    std::string name;
    std::string directory;
    std::array<uint32_t, 3> size{{0, 0, 0}};
    int32_t layerCount = 0;
    int32_t frameCount = 0;
    float timestep = 0.0f;
    // Smallest and largest vector length over all frames.
    float speedMin = 0.0f;
    float speedMax = 0.0f;
    std::vector<float> positions;
    std::vector<DataFrame> frames;

private:
    friend class FlowLoader;

    void clear();

    std::vector<LayerRange> ranges;
    std::vector<std::string> framePaths;
    std::vector<BinaryFile::Stamp> frameStamps;
    std::unique_ptr<FrameStore> store;
};

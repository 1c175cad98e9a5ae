#pragma once

#include "flowdata/BinaryFile.h"
#include "flowdata/FlowReader.h"
#include "flowdata/GridHeader.h"

#include <cstddef>
#include <cstdint>
#include <string>

// A grid file ("SN4DB" header, then x, y, z of every node as little-endian
// floats) and its frame files beside it: one record of 3 + layers floats per
// node each.
class GridFileReader : public FlowReader {
public:
    static bool recognises(const std::string& path, const char* head, std::size_t headBytes);

    // Header fields that do not parse keep the values of earlier, so that a
    // header cut short takes what the last set said.
    GridFileReader(const std::string& path, const FlowReaderOptions& options, const GridHeader& earlier = GridHeader());

    const FlowLayout& layout() const override { return layout_; }
    void readPositions(float* positions) const override;
    void readFrame(std::size_t f, DataFrame& frame) const override;

    // The frame count the header announces: a count F > 1 means F + 1 files.
    // The files found (layout().frameFiles) may differ; the load then fails.
    int32_t announcedFrames() const { return frames; }
    // False when the folder could not be listed for frame files.
    bool framesListed() const { return listed; }
    uint64_t nodeCount() const { return nodes; }

private:
    std::string path;
    BinaryFile file;
    FlowLayout layout_;
    uint64_t nodes = 0;
    int32_t layers = 0;
    int32_t frames = 0;
    bool listed = false;
};

#pragma once

#include "flowdata/BinaryFile.h"
#include "flowdata/DataFrame.h"
#include "flowdata/FieldExtremes.h"
#include "flowdata/LayerRange.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Reads one frame file: a record of 3 + layerCount floats per grid node.
// A reader keeps its blocks from file to file; one call at a time.
class FrameReader {
public:
    enum class Result { Read, CannotOpen, TooShort };

    FrameReader(const std::array<uint32_t, 3>& size, uint32_t layerCount);
    virtual ~FrameReader() = default;

    // Fills frame with the vectors and layer values (with their raw extremes)
    // of the first X*Y*Z records; extra records are not read. Values stay raw
    // without ranges, else they are rescaled with ranges[layer]. The frame's
    // arrays are reused when they already have the size. The records are
    // shared out over the cores.
    Result read(const std::string& path, DataFrame& frame, const std::vector<LayerRange>* ranges = nullptr);

    // Like read, but keeps only what the frame's records measure: its layers
    // with names and raw extremes, and its speed range; no vectors or values.
    Result measure(const std::string& path, DataFrame& frame);

    // The file last opened.
    const BinaryFile::Stamp& stamp() const { return file.stamp(); }

protected:
    // Every read of the open file's bytes goes through here: a read error or
    // a file cut short during a pass shows as fewer bytes than asked for.
    virtual std::size_t readAt(void* target, std::size_t count, uint64_t position) const;

private:
    Result pass(const std::string& path, DataFrame& frame, bool keep, const std::vector<LayerRange>* ranges);
    // Reads records [first, end) through block, measuring them, and decodes
    // them into frame when one is given. False on a short read.
    bool scan(uint64_t first, uint64_t end, std::vector<float>& block, FieldExtremes& extremes, DataFrame* frame,
              const std::vector<LayerRange>* ranges) const;
    void split(const float* records, std::size_t count, std::size_t first, DataFrame& frame,
               const std::vector<LayerRange>* ranges) const;

    std::array<uint32_t, 3> size;
    uint32_t layerCount;
    uint64_t nodeCount;
    uint64_t recordFloats;
    std::vector<std::vector<float>> blocks; // one per thread that reads
    BinaryFile file;
};

#include "flowdata/FrameReader.h"

#include "flowdata/Avx2.h"
#include "flowdata/FieldExtremes.h"
#include "flowdata/HugePages.h"
#include "flowdata/Parallel.h"

#include <algorithm>
#include <atomic>
#include <cmath>

// The files hold little-endian floats, read straight into memory.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "frame files are read as little-endian floats");

namespace {
// A quarter megabyte per block: the block stays in the core's own cache
// from the read that fills it through the passes that measure and split it.
constexpr uint64_t blockBytes = uint64_t(1) << 18;

// Copies the vector that begins each record.
QUORVANE_AVX2_CLONES void copyVectors(const float* records, std::size_t count, std::size_t stride, float* vectors)
{
    for (std::size_t r = 0; r < count; ++r) {
        for (std::size_t c = 0; c < 3; ++c) {
            vectors[3 * r + c] = records[r * stride + c];
        }
    }
}

QUORVANE_AVX2_CLONES void copyField(const float* records, std::size_t count, std::size_t stride, float* values)
{
    for (std::size_t r = 0; r < count; ++r) {
        values[r] = records[r * stride];
    }
}
} // namespace

FrameReader::FrameReader(const std::array<uint32_t, 3>& size, uint32_t layerCount)
    : size(size), layerCount(layerCount), nodeCount(uint64_t(size[0]) * size[1] * size[2]),
      recordFloats(3 + uint64_t(layerCount))
{
}

FrameReader::Result FrameReader::read(const std::string& path, DataFrame& frame, const std::vector<LayerRange>* ranges)
{
    return pass(path, frame, true, ranges);
}

FrameReader::Result FrameReader::measure(const std::string& path, DataFrame& frame)
{
    return pass(path, frame, false, nullptr);
}

FrameReader::Result FrameReader::pass(const std::string& path, DataFrame& frame, bool keep,
                                      const std::vector<LayerRange>* ranges)
{
    if (!file.open(path)) {
        return Result::CannotOpen;
    }
    // The grid limits the node count and layer count, so this cannot overflow;
    // checking the file size first keeps a short file from costing memory.
    const uint64_t recordBytes = recordFloats * sizeof(float);
    if (file.size() / recordBytes < nodeCount) {
        return Result::TooShort;
    }

    frame.size = size;
    resizeOnHugePages(frame.vectors, keep ? 3 * nodeCount : 0);
    frame.layers.resize(layerCount);
    for (uint32_t l = 0; l < layerCount; ++l) {
        DataLayer& layer = frame.layers[l];
        if (layer.name.empty()) {
            layer.name = "Layer_" + std::to_string(l);
        }
        resizeOnHugePages(layer.values, keep ? nodeCount : 0);
        layer.size = size;
        layer.nodeCount = static_cast<uint32_t>(nodeCount);
        layer.min = 0.0f;
        layer.max = 0.0f;
    }

    // A frame that is kept is wanted now, so it is decoded on every core; the
    // files measured by a load are spread over the cores already.
    const std::size_t parts = keep ? workerCount() : 1;
    blocks.resize(std::max(blocks.size(), parts));
    std::vector<FieldExtremes> extremes(parts, FieldExtremes(static_cast<uint32_t>(recordFloats)));
    std::atomic<bool> complete{true};
    std::atomic<bool> outOfMemory{false};
    parallelFor(parts, [&](unsigned, std::size_t part) {
        try {
            if (!scan(nodeCount * part / parts, nodeCount * (part + 1) / parts, blocks[part], extremes[part],
                      keep ? &frame : nullptr, ranges)) {
                complete = false;
            }
        } catch (const std::bad_alloc&) {
            outOfMemory = true;
        }
    });
    if (outOfMemory) {
        throw std::bad_alloc();
    }
    if (!complete) {
        return Result::TooShort;
    }
    for (std::size_t part = 1; part < parts; ++part) {
        extremes[0].merge(extremes[part]);
    }
    for (uint32_t l = 0; l < layerCount; ++l) {
        frame.layers[l].min = extremes[0].low(3 + l);
        frame.layers[l].max = extremes[0].high(3 + l);
    }
    // The root of the extremes is the extreme of the roots.
    const float slowest = extremes[0].slowestSquared();
    const float fastest = extremes[0].fastestSquared();
    frame.speedMin = slowest > fastest ? 0.0f : std::sqrt(slowest);
    frame.speedMax = std::sqrt(fastest);
    return Result::Read;
}

std::size_t FrameReader::readAt(void* target, std::size_t count, uint64_t position) const
{
    return file.readAt(target, count, position);
}

bool FrameReader::scan(uint64_t first, uint64_t end, std::vector<float>& block, FieldExtremes& extremes,
                       DataFrame* frame, const std::vector<LayerRange>* ranges) const
{
    const uint64_t recordBytes = recordFloats * sizeof(float);
    const uint64_t recordsPerBlock = std::max<uint64_t>(1, blockBytes / recordBytes);
    block.resize(recordsPerBlock * recordFloats);
    for (uint64_t done = first; done < end;) {
        const uint64_t count = std::min(recordsPerBlock, end - done);
        const std::size_t wanted = count * recordBytes;
        if (readAt(block.data(), wanted, done * recordBytes) != wanted) {
            return false;
        }
        extremes.add(block.data(), count);
        if (frame) {
            split(block.data(), count, done, *frame, ranges);
        }
        done += count;
    }
    return true;
}

void FrameReader::split(const float* records, std::size_t count, std::size_t first, DataFrame& frame,
                        const std::vector<LayerRange>* ranges) const
{
    copyVectors(records, count, recordFloats, frame.vectors.data() + 3 * first);
    for (uint32_t l = 0; l < layerCount; ++l) {
        float* values = frame.layers[l].values.data() + first;
        if (ranges) {
            (*ranges)[l].rescale(records + 3 + l, count, recordFloats, values);
        } else {
            copyField(records + 3 + l, count, recordFloats, values);
        }
    }
}

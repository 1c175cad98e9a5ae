#include "flowdata/FrameReader.h"

#include "flowdata/BinaryFile.h"

#include <algorithm>
#include <cmath>
#include <limits>

// The files hold little-endian floats, read straight into memory.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "frame files are read as little-endian floats");

namespace {
// About a megabyte per block: large reads that still stay in the cache
// while the records are split into vectors and layers.
constexpr uint64_t blockBytes = uint64_t(1) << 20;
} // namespace

FrameReader::FrameReader(const std::array<uint32_t, 3>& size, uint32_t layerCount)
    : size(size), layerCount(layerCount), nodeCount(uint64_t(size[0]) * size[1] * size[2]),
      recordFloats(3 + uint64_t(layerCount))
{
}

FrameReader::Result FrameReader::read(const std::string& path, DataFrame& frame)
{
    BinaryFile file;
    if (!file.open(path))
        return Result::CannotOpen;
    // The grid limits the node count and layer count, so this cannot overflow;
    // checking the file size first keeps a short file from costing memory.
    const uint64_t recordBytes = recordFloats * sizeof(float);
    if (file.size() / recordBytes < nodeCount)
        return Result::TooShort;

    frame = DataFrame();
    frame.size = size;
    frame.vectors.resize(3 * nodeCount);
    frame.layers.resize(layerCount);
    for (uint32_t l = 0; l < layerCount; ++l) {
        DataLayer& layer = frame.layers[l];
        layer.name = "Layer_" + std::to_string(l);
        layer.values.resize(nodeCount);
        layer.size = size;
        layer.nodeCount = static_cast<uint32_t>(nodeCount);
    }

    frame.speedMin = std::numeric_limits<float>::infinity();
    frame.speedMax = 0.0f;
    const uint64_t recordsPerBlock = std::max<uint64_t>(1, blockBytes / recordBytes);
    block.resize(recordsPerBlock * recordFloats);
    for (uint64_t done = 0; done < nodeCount;) {
        const uint64_t count = std::min(recordsPerBlock, nodeCount - done);
        const std::size_t wanted = count * recordBytes;
        if (file.read(block.data(), wanted) != wanted) {
            frame = DataFrame();
            return Result::TooShort;
        }
        split(block.data(), count, done, frame);
        done += count;
    }
    if (frame.speedMin > frame.speedMax)
        frame.speedMin = 0.0f;
    return Result::Read;
}

void FrameReader::split(const float* records, std::size_t count, std::size_t first, DataFrame& frame) const
{
    float* vectors = frame.vectors.data() + 3 * first;
    float slowest = frame.speedMin;
    float fastest = frame.speedMax;
    for (std::size_t r = 0; r < count; ++r) {
        const float* record = records + r * recordFloats;
        vectors[3 * r] = record[0];
        vectors[3 * r + 1] = record[1];
        vectors[3 * r + 2] = record[2];
        const float speed = std::sqrt(record[0] * record[0] + record[1] * record[1] + record[2] * record[2]);
        if (std::isfinite(speed)) {
            slowest = std::min(slowest, speed);
            fastest = std::max(fastest, speed);
        }
    }
    frame.speedMin = slowest;
    frame.speedMax = fastest;
    for (uint32_t l = 0; l < layerCount; ++l) {
        DataLayer& layer = frame.layers[l];
        float* values = layer.values.data() + first;
        const float* source = records + 3 + l;
        float low = layer.min;
        float high = layer.max;
        for (std::size_t r = 0; r < count; ++r) {
            const float v = source[r * recordFloats];
            values[r] = v;
            // NaN fails both tests and so never becomes an extreme.
            low = v < low ? v : low;
            high = v > high ? v : high;
        }
        layer.min = low;
        layer.max = high;
    }
}

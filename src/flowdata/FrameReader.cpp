#include "flowdata/FrameReader.h"

#include <algorithm>
#include <cmath>
#include <limits>

// The files hold little-endian floats, read straight into memory.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "frame files are read as little-endian floats");

namespace {
// About a megabyte per block: large reads that still stay in the cache
// while the records are split into vectors and layers.
constexpr uint64_t blockBytes = uint64_t(1) << 20;

// Non-finite values never become extremes; 0 lies within every range.
inline float finiteOrZero(float v)
{
    return std::fabs(v) <= std::numeric_limits<float>::max() ? v : 0.0f;
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
    frame.vectors.resize(keep ? 3 * nodeCount : 0);
    frame.layers.resize(layerCount);
    for (uint32_t l = 0; l < layerCount; ++l) {
        DataLayer& layer = frame.layers[l];
        if (layer.name.empty()) {
            layer.name = "Layer_" + std::to_string(l);
        }
        layer.values.resize(keep ? nodeCount : 0);
        layer.size = size;
        layer.nodeCount = static_cast<uint32_t>(nodeCount);
        layer.min = 0.0f;
        layer.max = 0.0f;
    }

    // Squared lengths until the end: the root of the extremes is the extreme of the roots.
    frame.speedMin = std::numeric_limits<float>::infinity();
    frame.speedMax = 0.0f;
    const uint64_t recordsPerBlock = std::max<uint64_t>(1, blockBytes / recordBytes);
    block.resize(recordsPerBlock * recordFloats);
    for (uint64_t done = 0; done < nodeCount;) {
        const uint64_t count = std::min(recordsPerBlock, nodeCount - done);
        const std::size_t wanted = count * recordBytes;
        if (file.read(block.data(), wanted) != wanted) {
            return Result::TooShort;
        }
        split(block.data(), count, done, frame, keep, ranges);
        done += count;
    }
    if (frame.speedMin > frame.speedMax) {
        frame.speedMin = 0.0f;
    }
    frame.speedMin = std::sqrt(frame.speedMin);
    frame.speedMax = std::sqrt(frame.speedMax);
    return Result::Read;
}

void FrameReader::split(const float* records, std::size_t count, std::size_t first, DataFrame& frame, bool keep,
                        const std::vector<LayerRange>* ranges) const
{
    float slowest = frame.speedMin;
    float fastest = frame.speedMax;
    for (std::size_t r = 0; r < count; ++r) {
        const float* record = records + r * recordFloats;
        const float squared = record[0] * record[0] + record[1] * record[1] + record[2] * record[2];
        // inf and NaN fail the test, so a length that is not finite counts nowhere.
        if (squared <= std::numeric_limits<float>::max()) {
            slowest = std::min(slowest, squared);
            fastest = std::max(fastest, squared);
        }
    }
    frame.speedMin = slowest;
    frame.speedMax = fastest;
    if (keep) {
        float* vectors = frame.vectors.data() + 3 * first;
        for (std::size_t r = 0; r < count; ++r) {
            std::copy_n(records + r * recordFloats, 3, vectors + 3 * r);
        }
    }
    for (uint32_t l = 0; l < layerCount; ++l) {
        DataLayer& layer = frame.layers[l];
        const float* source = records + 3 + l;
        float low = layer.min;
        float high = layer.max;
        for (std::size_t r = 0; r < count; ++r) {
            const float v = finiteOrZero(source[r * recordFloats]);
            low = std::min(low, v);
            high = std::max(high, v);
        }
        layer.min = low;
        layer.max = high;
        if (!keep) {
            continue;
        }
        float* values = layer.values.data() + first;
        if (ranges) {
            const LayerRange range = (*ranges)[l];
            for (std::size_t r = 0; r < count; ++r) {
                values[r] = range(source[r * recordFloats]);
            }
        } else {
            for (std::size_t r = 0; r < count; ++r) {
                values[r] = source[r * recordFloats];
            }
        }
    }
}

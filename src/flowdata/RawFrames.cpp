#include "flowdata/RawFrames.h"

#include "flowdata/HugePages.h"

#include <algorithm>
#include <cmath>
#include <limits>

void RawFrames::shape(const FlowLayout& layout, DataFrame& frame)
{
    const uint64_t nodes = uint64_t(layout.size[0]) * layout.size[1] * layout.size[2];
    frame.size = layout.size;
    resizeOnHugePages(frame.vectors, 3 * nodes);
    frame.layers.resize(layout.layerNames.size());
    for (std::size_t l = 0; l < frame.layers.size(); ++l) {
        DataLayer& layer = frame.layers[l];
        layer.name = layout.layerNames[l];
        resizeOnHugePages(layer.values, nodes);
        layer.size = layout.size;
        layer.nodeCount = static_cast<uint32_t>(nodes);
        layer.min = 0.0f;
        layer.max = 0.0f;
    }
}

void RawFrames::measure(const DataFrame& raw, DataFrame& measured)
{
    measured.size = raw.size;
    measured.vectors.clear();
    measured.layers.resize(raw.layers.size());
    for (std::size_t l = 0; l < raw.layers.size(); ++l) {
        const DataLayer& from = raw.layers[l];
        DataLayer& layer = measured.layers[l];
        layer.name = from.name;
        layer.size = from.size;
        layer.nodeCount = from.nodeCount;
        layer.values.clear();
        float lo = 0.0f;
        float hi = 0.0f;
        for (float v : from.values) {
            if (std::isfinite(v)) {
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
        }
        layer.min = lo;
        layer.max = hi;
    }
    measured.speedMin = raw.speedMin;
    measured.speedMax = raw.speedMax;
}

void RawFrames::measureSpeed(DataFrame& frame)
{
    float slowest = std::numeric_limits<float>::infinity();
    float fastest = 0.0f;
    for (std::size_t i = 0; i + 2 < frame.vectors.size(); i += 3) {
        const float* v = &frame.vectors[i];
        const float squared = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
        if (std::isfinite(squared)) {
            slowest = std::min(slowest, squared);
            fastest = std::max(fastest, squared);
        }
    }
    // The root of the extremes is the extreme of the roots.
    frame.speedMin = slowest > fastest ? 0.0f : std::sqrt(slowest);
    frame.speedMax = std::sqrt(fastest);
}

void RawFrames::rescale(DataFrame& frame, const std::vector<LayerRange>& ranges)
{
    for (std::size_t l = 0; l < frame.layers.size() && l < ranges.size(); ++l) {
        std::vector<float>& values = frame.layers[l].values;
        ranges[l].rescale(values.data(), values.size(), 1, values.data());
    }
}

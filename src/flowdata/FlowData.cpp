#include "flowdata/FlowData.h"

#include "diagnostics/Exception.h"
#include "diagnostics/Logger.h"
#include "flowdata/BinaryFile.h"
#include "flowdata/FlowLoader.h"
#include "flowdata/FrameStore.h"
#include "flowdata/HistogramBin.h"
#include "flowdata/HugePages.h"
#include "flowdata/MemoryBudget.h"
#include "flowdata/Parallel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <locale>
#include <malloc.h>
#include <new>
#include <sstream>

FlowData::FlowData() = default;

FlowData::~FlowData()
{
    unload();
}

void FlowData::load(const std::string& path, LoadingProgress& dialog, const FlowReaderOptions& options)
{
    if (!frames.empty()) {
        return;
    }
    // Nothing an earlier load left (a set without frames counts as empty)
    // may stand in for what this file gives.
    clear();
    FlowLoader(*this, dialog).load(path, options);
}

void FlowData::unload()
{
    Tool::log("FlowData::unload()", "Unloading file  ..");
    clear();
    // Freed memory below memory still in use stays with the process until
    // it is handed back explicitly.
    malloc_trim(0);
}

void FlowData::clear()
{
    store.reset();
    ranges.clear();
    framePaths.clear();
    framePaths.shrink_to_fit();
    frameStamps.clear();
    frameStamps.shrink_to_fit();
    positions.clear();
    positions.shrink_to_fit();
    frames.clear();
    frames.shrink_to_fit();
    name.clear();
    directory.clear();
    size = {{0, 0, 0}};
    speedMin = 0.0f;
    speedMax = 0.0f;
}

std::shared_ptr<const DataFrame> FlowData::frame(std::size_t index) const
{
    if (index >= frames.size()) {
        TOOL_THROW("FlowData::frame()", "Frame " + std::to_string(index) + " of " + std::to_string(frames.size()));
    }
    if (store) {
        return store->frame(index);
    }
    // A set filled in memory holds its frames itself: the handle owns nothing.
    return std::shared_ptr<const DataFrame>(std::shared_ptr<const DataFrame>(), &frames[index]);
}

void FlowData::prefetch(std::size_t index, std::size_t shown) const
{
    if (store) {
        store->prefetch(index, shown);
    }
}

const std::array<uint32_t, 3>* FlowData::getSize() const
{
    return frames.empty() ? nullptr : &size;
}

void FlowData::normalizeLayers()
{
    const std::size_t layers = static_cast<std::size_t>(std::max(layerCount, 0));
    ranges.assign(layers, LayerRange());
    for (std::size_t l = 0; l < layers; ++l) {
        double lo = 0.0;
        double hi = 0.0;
        for (const DataFrame& frame : frames) {
            if (l >= frame.layers.size()) {
                continue;
            }
            // Extremes that are not finite never widen the range.
            if (std::isfinite(frame.layers[l].min)) {
                lo = std::min(lo, double(frame.layers[l].min));
            }
            if (std::isfinite(frame.layers[l].max)) {
                hi = std::max(hi, double(frame.layers[l].max));
            }
        }
        ranges[l] = LayerRange(lo, hi);
    }

    // One pass over each layer of each frame held in memory, spread over the cores.
    parallelFor(frames.size() * layers, [&](unsigned, std::size_t index) {
        const std::size_t l = index % layers;
        DataFrame& frame = frames[index / layers];
        if (l >= frame.layers.size()) {
            return;
        }
        const LayerRange range = ranges[l];
        for (float& v : frame.layers[l].values) {
            v = range(v);
        }
    });
}

std::vector<float> FlowData::computeHistogram(int layer, int bins) const
{
    if (bins < 0) {
        return std::vector<float>();
    }
    const std::size_t n = static_cast<std::size_t>(bins);
    std::vector<float> result(n + 1, 0.0f);
    if (n == 0 || layer < 0) {
        return result;
    }

    // One frame at a time, as the store may hold no more, its values
    // shared among the cores in slices of about a million.
    constexpr std::size_t sliceValues = std::size_t(1) << 20;
    const HistogramBin binOf(n);
    std::vector<std::vector<uint64_t>> partial(workerCount(), std::vector<uint64_t>(n + 1, 0));
    std::unique_ptr<Tool::Exception> failure;
    for (std::size_t f = 0; f < frames.size(); ++f) {
        std::shared_ptr<const DataFrame> data;
        try {
            data = frame(f);
        } catch (const Tool::Exception& e) {
            if (!failure) {
                failure = std::make_unique<Tool::Exception>(e);
            }
            continue;
        }
        if (static_cast<std::size_t>(layer) >= data->layers.size()) {
            continue;
        }
        const std::vector<float>& values = data->layers[layer].values;
        const std::size_t slices = std::max<std::size_t>(1, (values.size() + sliceValues - 1) / sliceValues);
        parallelFor(slices, [&](unsigned worker, std::size_t slice) {
            const std::size_t end = values.size() * (slice + 1) / slices;
            std::vector<uint64_t>& counts = partial[worker];
            for (std::size_t i = values.size() * slice / slices; i < end; ++i) {
                const float v = values[i];
                // Values off 0 .. 1, NaN among them, are not counted.
                if (v >= 0.0f && v <= 1.0f) {
                    ++counts[binOf(v)];
                }
            }
        });
    }
    // Logged here, on the caller's thread, so that the log keeps its order.
    if (failure) {
        Tool::log("FlowData::computeHistogram()", "Histogram .. [FAILED]", failure->text);
    }

    const float logBase = std::log(2.7f);
    float highest = 0.0f;
    for (std::size_t i = 1; i <= n; ++i) {
        uint64_t count = 0;
        for (const std::vector<uint64_t>& counts : partial) {
            count += counts[i];
        }
        result[i] = count >= 1 ? std::log(static_cast<float>(count)) / logBase : 0.0f;
        highest = std::max(highest, result[i]);
    }
    // With no bin above one value every entry is 0, not 0 / 0.
    if (highest > 0.0f) {
        for (std::size_t i = 1; i <= n; ++i) {
            result[i] /= highest;
        }
    }
    return result;
}

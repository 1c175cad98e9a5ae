#include "flowdata/FlowData.h"

#include "diagnostics/Exception.h"
#include "diagnostics/Logger.h"
#include "flowdata/BinaryFile.h"
#include "flowdata/FrameFiles.h"
#include "flowdata/FrameQueue.h"
#include "flowdata/FrameStore.h"
#include "flowdata/GridHeader.h"
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
#include <mutex>
#include <new>
#include <sstream>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "grid files are read as little-endian floats");

namespace {

const std::string loadSource = "FlowData::load()";
// Load failures name the class as their file, whatever the source path is.
const std::string throwFile = "FlowData";
const std::string invalidGrid = "Invalid Gridfile (Size and Positions not matching";

// More layers than any real data set carries; the bound keeps the per-layer
// bookkeeping of a tiny hostile grid from dwarfing its file.
constexpr int32_t maximumLayers = 4096;

// The node count of a header, or 0 when it describes no usable grid: a zero
// axis, or more nodes than a 32-bit count holds.
uint64_t nodeCountOf(const std::array<uint32_t, 3>& size)
{
    const uint64_t limit = std::numeric_limits<uint32_t>::max();
    uint64_t nodes = 1;
    for (uint32_t axis : size) {
        if (axis == 0 || nodes > limit / axis) {
            return 0;
        }
        nodes *= axis;
    }
    return nodes;
}

std::string sizeReport(const FlowData& data)
{
    const uint64_t x = data.size[0];
    const uint64_t y = data.size[1];
    const uint64_t z = data.size[2];
    const std::vector<float>& p = data.positions;
    const float dx = p[3 * x - 3] - p[0];
    const float dy = p[3 * x * (y - 1) + 1] - p[1];
    const float dz = p[3 * x * y * (z - 1) + 2] - p[2];
    std::ostringstream report;
    report.imbue(std::locale::classic());
    report << "Size: " << data.size[0] << "x" << data.size[1] << "x" << data.size[2] << " DataLayer:" << data.layerCount
           << " Frames:" << data.frameCount << " Timestep:" << data.timestep << "\n\t\t\t Geometry: " << dx << " x "
           << dy << " x " << dz;
    return report.str();
}

} // namespace

FlowData::FlowData() = default;

FlowData::~FlowData()
{
    unload();
}

void FlowData::load(const std::string& gridPath, LoadingProgress& dialog)
{
    if (!frames.empty()) {
        return;
    }
    // Nothing an earlier load left (a set without frames counts as empty)
    // may stand in for what this grid file gives.
    clear();
    try {
        BinaryFile grid;
        const uint64_t nodes = readHeader(gridPath, grid);
        const std::size_t slash = gridPath.find_last_of('/');
        directory = slash == std::string::npos ? std::string() : gridPath.substr(0, slash + 1);
        const std::string fileName = gridPath.substr(directory.size());
        name = fileName.substr(0, fileName.find_last_of('.'));

        std::vector<std::string> names;
        const bool listed = FrameFiles::list(directory, name, names);
        std::vector<std::string> paths;
        for (const std::string& frameName : names) {
            paths.push_back(directory + frameName);
        }
        // The workers measure the frames while the positions are read here.
        FrameQueue queue(paths, size, static_cast<uint32_t>(layerCount));
        readPositions(gridPath, grid, nodes);
        checkBudget();
        dialog.setRange(0, 100);
        dialog.setPosition(50);
        dialog.repaint();
        if (!listed) {
            // directory is this set's, which unload() empties.
            const std::string failed = directory;
            Tool::log(loadSource, "Datafile loaded .. [FAILED]", failed);
            unload();
            throw Tool::Exception(loadSource, "Couldn't open " + failed, throwFile, __LINE__);
        }
        loadFrames(names, queue, dialog);
    } catch (const std::bad_alloc&) {
        // A data set larger than memory fails like any other, leaving the set empty.
        Tool::log(loadSource, "Flowdata loaded .. [FAILED]", "Out of memory");
        unload();
        throw Tool::Exception(loadSource, "Out of memory", throwFile, __LINE__);
    }
    normalizeLayers();
    std::vector<FrameStore::Source> sources;
    for (std::size_t i = 0; i < framePaths.size(); ++i) {
        sources.push_back({framePaths[i], frameStamps[i]});
    }
    store = std::make_unique<FrameStore>(std::move(sources), size, static_cast<uint32_t>(layerCount), ranges,
                                         MemoryBudget::frameBudget());
    speedMin = frames.empty() ? 0.0f : frames.front().speedMin;
    speedMax = 0.0f;
    for (const DataFrame& frame : frames) {
        speedMin = std::min(speedMin, frame.speedMin);
        speedMax = std::max(speedMax, frame.speedMax);
    }
    Tool::log(loadSource, "Flowdata loaded .. [OK]");
}

// Parses the header and checks its sizes against the file, before anything
// is allocated; returns the node count.
uint64_t FlowData::readHeader(const std::string& gridPath, BinaryFile& file)
{
    Tool::log(loadSource, "Loading file " + gridPath + " ..");
    if (!file.open(gridPath)) {
        Tool::log(loadSource, "Gridfile loaded .. [FAILED]", gridPath);
        throw Tool::Exception(loadSource, "Couldn't open " + gridPath, throwFile, __LINE__);
    }

    char text[GridHeader::byteCount] = {};
    const std::size_t headerBytes = file.read(text, sizeof text);
    GridHeader header;
    header.x = static_cast<int32_t>(size[0]);
    header.y = static_cast<int32_t>(size[1]);
    header.z = static_cast<int32_t>(size[2]);
    header.layers = layerCount;
    header.frames = frameCount;
    header.timestep = timestep;
    const int matched = header.parse(text, headerBytes);
    size = {{static_cast<uint32_t>(header.x), static_cast<uint32_t>(header.y), static_cast<uint32_t>(header.z)}};
    layerCount = header.layers;
    timestep = header.timestep;
    // A header frame count of F > 1 means F + 1 frame files.
    if (matched >= 5) {
        frameCount =
            header.frames > 1 ? header.frames + (header.frames < std::numeric_limits<int32_t>::max()) : header.frames;
    }

    const uint64_t nodes = nodeCountOf(size);
    const uint64_t bodyBytes = file.size() > GridHeader::byteCount ? file.size() - GridHeader::byteCount : 0;
    if (nodes == 0 || layerCount < 0 || layerCount > maximumLayers || bodyBytes / 12 < nodes) {
        file.close();
        Tool::log(loadSource, "Gridfile loaded .. [FAILED]", gridPath);
        unload();
        throw Tool::Exception(loadSource, invalidGrid, throwFile, __LINE__);
    }
    return nodes;
}

void FlowData::readPositions(const std::string& gridPath, BinaryFile& file, uint64_t nodes)
{
    resizeOnHugePages(positions, 3 * nodes);
    // A file that shrank since its size was taken shows as a short read.
    const bool complete = file.read(positions.data(), 12 * nodes) == 12 * nodes;
    file.close();
    if (!complete) {
        Tool::log(loadSource, "Gridfile loaded .. [FAILED]", gridPath);
        unload();
        throw Tool::Exception(loadSource, invalidGrid, throwFile, __LINE__);
    }
    Tool::log(loadSource, "Gridfile loaded .. [OK]", sizeReport(*this));
}

// A data set is shown one decoded frame at a time at the least: one that
// does not fit in the frames' share of memory cannot be shown at all.
void FlowData::checkBudget()
{
    const uint64_t frameBytes = uint64_t(size[0]) * size[1] * size[2] * (3 + uint64_t(layerCount)) * sizeof(float);
    const uint64_t budget = MemoryBudget::frameBudget();
    if (frameBytes <= budget) {
        return;
    }
    char details[160];
    std::snprintf(details, sizeof details, "A frame needs %.1f MB; %.1f MB may be used for frames", frameBytes / 1e6,
                  budget / 1e6);
    Tool::log(loadSource, "Flowdata loaded .. [FAILED]", details);
    unload();
    throw Tool::Exception(loadSource, "Out of memory", throwFile, __LINE__);
}

void FlowData::loadFrames(const std::vector<std::string>& names, FrameQueue& queue, LoadingProgress& dialog)
{
    float position = 50.0f;
    const float step = 25.0f / static_cast<float>(frameCount);

    // Every matching file is read and logged, but no more frames are kept than
    // the header announced: a load with more files fails anyway, and a folder
    // shared with a larger data set would otherwise cost its whole size.
    const std::size_t wanted = static_cast<std::size_t>(std::max(frameCount, 0));
    std::size_t framesRead = 0;
    frames.reserve(std::min(names.size(), wanted));
    framePaths.reserve(frames.capacity());
    frameStamps.reserve(frames.capacity());
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& path = queue.path(i);
        FrameQueue::Item& item = queue.wait(i);
        if (item.result == FrameReader::Result::CannotOpen) {
            Tool::log(loadSource, "Datafile loaded .. [FAILED]", path);
            unload();
            throw Tool::Exception(loadSource, "Couldn't open " + path, throwFile, __LINE__);
        }
        if (item.result == FrameReader::Result::TooShort) {
            Tool::log(loadSource, "Datafile loaded .. [FAILED]", path);
            unload();
            throw Tool::Exception(loadSource, "Data not matching the specified size", throwFile, __LINE__);
        }
        dialog.setPosition(static_cast<int>(position));
        // Kept on 0 .. 100 also for a frame count of 0 or below.
        position = std::clamp(position + step, 0.0f, 100.0f);
        if (frames.size() < wanted) {
            frames.push_back(std::move(item.frame));
            framePaths.push_back(path);
            frameStamps.push_back(item.stamp);
        } else {
            item.frame = DataFrame();
        }
        ++framesRead;
        Tool::log(loadSource, "Loading Dataframe: " + names[i] + " .. [OK]");
    }

    if (frameCount < 0 || framesRead != wanted) {
        Tool::log(loadSource, "Flowdata loaded .. [FAILED]");
        unload();
        throw Tool::Exception(loadSource, "Frames not not matching the specified timesteps", throwFile, __LINE__);
    }
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

void FlowData::prefetch(std::size_t index) const
{
    if (store) {
        store->prefetch(index);
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

    // Whole frames spread over the cores; while there are fewer frames than
    // cores, slices of about a million values, so both share even one frame.
    constexpr std::size_t sliceValues = std::size_t(1) << 20;
    std::size_t longest = 0;
    for (const DataFrame& frame : frames) {
        if (static_cast<std::size_t>(layer) < frame.layers.size()) {
            longest =
                std::max({longest, frame.layers[layer].values.size(), std::size_t(frame.layers[layer].nodeCount)});
        }
    }
    const std::size_t perFrame =
        frames.size() >= workerCount() ? 1 : std::max<std::size_t>(1, (longest + sliceValues - 1) / sliceValues);

    const HistogramBin binOf(n);
    std::vector<std::vector<uint64_t>> partial(workerCount(), std::vector<uint64_t>(n + 1, 0));
    std::mutex failureMutex;
    std::unique_ptr<Tool::Exception> failure;
    parallelFor(frames.size() * perFrame, [&](unsigned worker, std::size_t task) {
        std::shared_ptr<const DataFrame> data;
        try {
            data = frame(task / perFrame);
        } catch (const Tool::Exception& e) {
            std::lock_guard<std::mutex> lock(failureMutex);
            if (!failure) {
                failure = std::make_unique<Tool::Exception>(e);
            }
            return;
        }
        if (static_cast<std::size_t>(layer) >= data->layers.size()) {
            return;
        }
        const std::vector<float>& values = data->layers[layer].values;
        const std::size_t slice = task % perFrame;
        const std::size_t end = values.size() * (slice + 1) / perFrame;
        std::vector<uint64_t>& counts = partial[worker];
        for (std::size_t i = values.size() * slice / perFrame; i < end; ++i) {
            const float v = values[i];
            // Values off 0 .. 1, NaN among them, are not counted.
            if (v >= 0.0f && v <= 1.0f) {
                ++counts[binOf(v)];
            }
        }
    });
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

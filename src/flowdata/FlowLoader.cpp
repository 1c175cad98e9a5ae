#include "flowdata/FlowLoader.h"

#include "diagnostics/Exception.h"
#include "diagnostics/Logger.h"
#include "flowdata/BinaryFile.h"
#include "flowdata/FlowData.h"
#include "flowdata/FlowReaders.h"
#include "flowdata/FrameQueue.h"
#include "flowdata/FrameStore.h"
#include "flowdata/GridFileReader.h"
#include "flowdata/HugePages.h"
#include "flowdata/MemoryBudget.h"
#include "flowdata/Parallel.h"
#include "flowdata/RawFrames.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <limits>
#include <locale>
#include <new>
#include <sstream>

namespace {

const std::string loadSource = "FlowData::load()";
// Load failures name the class as their file, whatever the source path is.
const std::string throwFile = "FlowData";

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

uint64_t nodeCount(const FlowData& data)
{
    return uint64_t(data.size[0]) * data.size[1] * data.size[2];
}

} // namespace

void FlowLoader::load(const std::string& path, const FlowReaderOptions& options)
{
    Tool::log(loadSource, "Loading file " + path + " ..");
    load(path, openReader(path, options));
}

void FlowLoader::load(const std::string& path, std::shared_ptr<FlowReader> reader)
{
    const GridFileReader* grid = nullptr;
    try {
        grid = dynamic_cast<const GridFileReader*>(reader.get());
        const FlowLayout& layout = reader->layout();
        const std::size_t slash = path.find_last_of('/');
        data.directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
        const std::string fileName = path.substr(data.directory.size());
        data.name = fileName.substr(0, fileName.find_last_of('.'));
        data.size = layout.size;
        data.layerCount = static_cast<int32_t>(layout.layerNames.size());
        data.timestep = layout.timestep;
        data.frameCount = grid ? grid->announcedFrames()
                               : static_cast<int32_t>(std::min<std::size_t>(layout.frameFiles.size(),
                                                                            std::numeric_limits<int32_t>::max()));

        // The workers measure a grid file's frames while the positions are read here.
        std::unique_ptr<FrameQueue> queue;
        if (grid) {
            queue = std::make_unique<FrameQueue>(layout.frameFiles, data.size, static_cast<uint32_t>(data.layerCount));
        }
        readGrid(*reader, path);
        checkBudget();
        dialog.setRange(0, 100);
        dialog.setPosition(50);
        dialog.repaint();
        if (grid) {
            if (!grid->framesListed()) {
                fail("Datafile loaded .. [FAILED]", data.directory, "Couldn't open " + data.directory, __LINE__);
            }
            loadGridFrames(*grid, *queue);
        } else {
            loadFrames(*reader);
        }
    } catch (const std::bad_alloc&) {
        // A data set larger than memory fails like any other, leaving the set empty.
        fail("Flowdata loaded .. [FAILED]", "Out of memory", "Out of memory", __LINE__);
    }
    data.normalizeLayers();
    // Grid files' frames are decoded by the store itself, on every core.
    startStore(grid ? nullptr : reader);
    data.speedMin = data.frames.empty() ? 0.0f : data.frames.front().speedMin;
    data.speedMax = 0.0f;
    for (const DataFrame& frame : data.frames) {
        data.speedMin = std::min(data.speedMin, frame.speedMin);
        data.speedMax = std::max(data.speedMax, frame.speedMax);
    }
    Tool::log(loadSource, "Flowdata loaded .. [OK]");
}

// A file that cannot be opened fails before anything was loaded; one that
// a reader refuses unloads.
std::shared_ptr<FlowReader> FlowLoader::openReader(const std::string& path, const FlowReaderOptions& options)
{
    BinaryFile file;
    if (!file.open(path)) {
        Tool::log(loadSource, "Gridfile loaded .. [FAILED]", path);
        throw Tool::Exception(loadSource, "Couldn't open " + path, throwFile, __LINE__);
    }
    char head[FlowReaders::headBytes];
    const std::size_t headBytes = file.read(head, sizeof head);
    file.close();
    GridHeader earlier;
    earlier.layers = data.layerCount;
    earlier.frames = data.frameCount;
    earlier.timestep = data.timestep;
    try {
        return FlowReaders::open(path, head, headBytes, options, earlier);
    } catch (const Tool::Exception&) {
        Tool::log(loadSource, "Gridfile loaded .. [FAILED]", path);
        data.unload();
        throw;
    }
}

void FlowLoader::readGrid(const FlowReader& reader, const std::string& path)
{
    resizeOnHugePages(data.positions, 3 * nodeCount(data));
    try {
        reader.readPositions(data.positions.data());
    } catch (const Tool::Exception&) {
        Tool::log(loadSource, "Gridfile loaded .. [FAILED]", path);
        data.unload();
        throw;
    }
    Tool::log(loadSource, "Gridfile loaded .. [OK]", sizeReport(data));
}

// A data set is shown one decoded frame at a time at the least: one that
// does not fit in the frames' share of memory cannot be shown at all.
void FlowLoader::checkBudget()
{
    const uint64_t frameBytes = nodeCount(data) * (3 + uint64_t(data.layerCount)) * sizeof(float);
    const uint64_t budget = MemoryBudget::frameBudget();
    if (frameBytes <= budget) {
        return;
    }
    char details[160];
    std::snprintf(details, sizeof details, "A frame needs %.1f MB; %.1f MB may be used for frames", frameBytes / 1e6,
                  budget / 1e6);
    fail("Flowdata loaded .. [FAILED]", details, "Out of memory", __LINE__);
}

void FlowLoader::advance(float& position, float step)
{
    dialog.setPosition(static_cast<int>(position));
    // Kept on 0 .. 100 also for a frame count of 0 or below.
    position = std::clamp(position + step, 0.0f, 100.0f);
}

void FlowLoader::loadGridFrames(const GridFileReader& reader, FrameQueue& queue)
{
    float position = 50.0f;
    const float step = 25.0f / static_cast<float>(data.frameCount);

    // Every matching file is read and logged, but no more frames are kept than
    // the header announced: a load with more files fails anyway, and a folder
    // shared with a larger data set would otherwise cost its whole size.
    const std::size_t files = reader.layout().frameFiles.size();
    const std::size_t wanted = static_cast<std::size_t>(std::max(data.frameCount, 0));
    std::size_t framesRead = 0;
    data.frames.reserve(std::min(files, wanted));
    data.framePaths.reserve(data.frames.capacity());
    data.frameStamps.reserve(data.frames.capacity());
    for (std::size_t i = 0; i < files; ++i) {
        const std::string& path = queue.path(i);
        FrameQueue::Item& item = queue.wait(i);
        if (item.result == FrameReader::Result::CannotOpen) {
            fail("Datafile loaded .. [FAILED]", path, "Couldn't open " + path, __LINE__);
        }
        if (item.result == FrameReader::Result::TooShort) {
            fail("Datafile loaded .. [FAILED]", path, "Data not matching the specified size", __LINE__);
        }
        advance(position, step);
        if (data.frames.size() < wanted) {
            data.frames.push_back(std::move(item.frame));
            data.framePaths.push_back(path);
            data.frameStamps.push_back(item.stamp);
        } else {
            item.frame = DataFrame();
        }
        ++framesRead;
        Tool::log(loadSource, "Loading Dataframe: " + path.substr(data.directory.size()) + " .. [OK]");
    }

    if (data.frameCount < 0 || framesRead != wanted) {
        fail("Flowdata loaded .. [FAILED]", "", "Frames not not matching the specified timesteps", __LINE__);
    }
}

void FlowLoader::loadFrames(const FlowReader& reader)
{
    const FlowLayout& layout = reader.layout();
    const std::size_t count = layout.frameFiles.size();
    const uint64_t frameBytes = nodeCount(data) * (3 + uint64_t(data.layerCount)) * sizeof(float);
    // One raw frame per worker, as many as the frames' budget holds.
    const std::size_t threads = std::min<std::size_t>(
        {workerCount(), count, std::max<uint64_t>(1, MemoryBudget::frameBudget() / std::max<uint64_t>(frameBytes, 1))});

    std::vector<DataFrame> measured(count);
    std::vector<BinaryFile::Stamp> stamps(count);
    std::vector<std::string> errors(count);
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> firstFailure{count};
    std::atomic<bool> outOfMemory{false};
    parallelFor(threads, [&](unsigned, std::size_t) {
        try {
            DataFrame raw;
            RawFrames::shape(layout, raw);
            for (std::size_t f = next++; f < count && f < firstFailure; f = next++) {
                try {
                    reader.readFrame(f, raw);
                    RawFrames::measureSpeed(raw);
                    RawFrames::measure(raw, measured[f]);
                    BinaryFile file;
                    if (file.open(layout.frameFiles[f])) {
                        stamps[f] = file.stamp();
                    }
                } catch (const Tool::Exception& e) {
                    errors[f] = e.text;
                    std::size_t first = firstFailure;
                    while (f < first && !firstFailure.compare_exchange_weak(first, f)) {
                    }
                }
            }
        } catch (const std::bad_alloc&) {
            outOfMemory = true;
        }
    });
    if (outOfMemory) {
        throw std::bad_alloc();
    }

    float position = 50.0f;
    const float step = 25.0f / static_cast<float>(std::max<std::size_t>(count, 1));
    data.frames.reserve(count);
    for (std::size_t f = 0; f < count; ++f) {
        const std::string& path = layout.frameFiles[f];
        if (f >= firstFailure) {
            fail("Datafile loaded .. [FAILED]", path, errors[f], __LINE__);
        }
        advance(position, step);
        data.frames.push_back(std::move(measured[f]));
        data.framePaths.push_back(path);
        data.frameStamps.push_back(stamps[f]);
        Tool::log(loadSource, "Loading Dataframe: " + path.substr(path.find_last_of('/') + 1) + " .. [OK]");
    }
}

void FlowLoader::startStore(std::shared_ptr<FlowReader> reader)
{
    std::vector<FrameStore::Source> sources;
    for (std::size_t i = 0; i < data.framePaths.size(); ++i) {
        sources.push_back({data.framePaths[i], data.frameStamps[i]});
    }
    data.store = std::make_unique<FrameStore>(std::move(sources), data.size, static_cast<uint32_t>(data.layerCount),
                                              data.ranges, MemoryBudget::frameBudget(), std::move(reader));
}

// Takes copies: unloading empties the set's strings, which may be passed here.
void FlowLoader::fail(const std::string& line, std::string details, std::string text, int at)
{
    Tool::log(loadSource, line, details);
    data.unload();
    throw Tool::Exception(loadSource, text, throwFile, at);
}

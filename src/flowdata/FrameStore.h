#pragma once

#include "flowdata/BinaryFile.h"
#include "flowdata/DataFrame.h"
#include "flowdata/FlowReader.h"
#include "flowdata/LayerRange.h"

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The frames of a loaded data set, read again from their files when they are
// needed and decoded (vectors, and layers rescaled with their common ranges)
// into slots that are reused. The most recently used frames stay within a
// byte budget; at least one always does. Handles are shared and read-only,
// and keep their frame in memory while held: only frames nobody holds are
// evicted, so holders can take the store past its budget.
//
// Thread-safe. A miss is decoded outside the lock, so two threads decode two
// frames at once; a thread that asks for a frame being decoded waits for it.
class FrameStore {
public:
    struct Source {
        std::string path;
        BinaryFile::Stamp stamp; // the file as the load measured it
    };

    // Without a reader the sources are frame files of a grid file, decoded
    // here on every core; with one, frames come raw from the reader and are
    // rescaled, and the sources name the files that hold them.
    FrameStore(std::vector<Source> sources, const std::array<uint32_t, 3>& size, uint32_t layerCount,
               std::vector<LayerRange> ranges, uint64_t budget, std::shared_ptr<const FlowReader> reader = nullptr);
    FrameStore(const FrameStore&) = delete;
    FrameStore& operator=(const FrameStore&) = delete;
    // Waits for a prefetch under way.
    ~FrameStore();

    // Throws Tool::Exception naming the file and the reason when the frame's
    // file vanished, changed or was cut short since the load.
    std::shared_ptr<const DataFrame> frame(std::size_t index);

    // Decodes frame index on a worker thread while frame shown is on show,
    // unless it is held already. Neither frame is evicted for it, and the
    // store stays within its budget: with no room beside the frame shown
    // nothing is fetched. A failure there is left for the next frame() of
    // that index to report.
    void prefetch(std::size_t index, std::size_t shown);

    // Bytes of one decoded frame.
    uint64_t frameBytes() const { return bytesPerFrame; }
    // Frames decoded and kept.
    std::size_t residentFrames() const;
    // Whether the frame is decoded and kept.
    bool holds(std::size_t index) const;
    // The most frames kept or being decoded at once so far.
    std::size_t peakFrames() const;

private:
    struct Entry {
        std::size_t index;
        std::shared_ptr<DataFrame> data;
        bool ready;
    };

    std::shared_ptr<DataFrame> fetch(std::size_t index, const std::size_t* keep);
    std::shared_ptr<DataFrame> takeSlot(const std::size_t* keep);
    void decode(std::size_t index, DataFrame& frame) const;
    // Reads through the reader; why the frame cannot be used, or empty.
    std::string decodeRaw(std::size_t index, DataFrame& frame) const;
    void prefetchLoop();

    const std::vector<Source> sources;
    const std::shared_ptr<const FlowReader> reader;
    const std::array<uint32_t, 3> size;
    const uint32_t layerCount;
    const std::vector<LayerRange> ranges;
    const uint64_t bytesPerFrame;
    const std::size_t capacity;

    mutable std::mutex mutex;
    std::condition_variable decoded;
    std::list<Entry> entries; // most recently used first
    std::size_t peak = 0;

    std::condition_variable requested;
    std::size_t wanted = 0;
    std::size_t wantedBeside = 0; // the frame shown while wanted is fetched
    bool pending = false;
    bool stopping = false;
    std::thread worker;
};

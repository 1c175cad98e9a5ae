#include "flowdata/FrameStore.h"

#include "diagnostics/Exception.h"
#include "diagnostics/ThreadStart.h"
#include "flowdata/FrameReader.h"
#include "flowdata/RawFrames.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>

namespace {

const std::string changed = "the file has changed since the data set was loaded";

uint64_t decodedBytes(const std::array<uint32_t, 3>& size, uint32_t layerCount)
{
    return uint64_t(size[0]) * size[1] * size[2] * (3 + uint64_t(layerCount)) * sizeof(float);
}

} // namespace

FrameStore::FrameStore(std::vector<Source> sources, const std::array<uint32_t, 3>& size, uint32_t layerCount,
                       std::vector<LayerRange> ranges, uint64_t budget, std::shared_ptr<const FlowReader> reader)
    : sources(std::move(sources)), reader(std::move(reader)), size(size), layerCount(layerCount),
      ranges(std::move(ranges)), bytesPerFrame(decodedBytes(size, layerCount)),
      capacity(static_cast<std::size_t>(std::max<uint64_t>(1, budget / std::max<uint64_t>(bytesPerFrame, 1))))
{
}

FrameStore::~FrameStore()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    requested.notify_all();
    if (worker.joinable()) {
        worker.join();
    }
}

std::size_t FrameStore::residentFrames() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return static_cast<std::size_t>(
        std::count_if(entries.begin(), entries.end(), [](const Entry& entry) { return entry.ready; }));
}

bool FrameStore::holds(std::size_t index) const
{
    std::lock_guard<std::mutex> lock(mutex);
    return std::any_of(entries.begin(), entries.end(),
                       [index](const Entry& entry) { return entry.index == index && entry.ready; });
}

std::size_t FrameStore::peakFrames() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return peak;
}

std::shared_ptr<const DataFrame> FrameStore::frame(std::size_t index)
{
    if (index >= sources.size()) {
        TOOL_THROW("FrameStore::frame()", "Frame " + std::to_string(index) + " of " + std::to_string(sources.size()));
    }
    return fetch(index, nullptr);
}

// With keep, a prefetch beside frame *keep: that frame stays, and null comes
// back when there is no room within the budget.
std::shared_ptr<DataFrame> FrameStore::fetch(std::size_t index, const std::size_t* keep)
{
    std::unique_lock<std::mutex> lock(mutex);
    while (true) {
        const auto found =
            std::find_if(entries.begin(), entries.end(), [index](const Entry& entry) { return entry.index == index; });
        if (found == entries.end()) {
            break;
        }
        if (found->ready) {
            entries.splice(entries.begin(), entries, found);
            return found->data;
        }
        // Another thread decodes it; if that fails, the entry goes and this thread tries itself.
        decoded.wait(lock);
    }

    std::shared_ptr<DataFrame> slot = takeSlot(keep);
    if (!slot) {
        return nullptr;
    }
    entries.push_front({index, slot, false});
    peak = std::max(peak, entries.size());
    lock.unlock();
    try {
        decode(index, *slot);
    } catch (...) {
        lock.lock();
        entries.remove_if([&](const Entry& entry) { return entry.data == slot; });
        decoded.notify_all();
        throw;
    }
    lock.lock();
    for (Entry& entry : entries) {
        if (entry.data == slot) {
            entry.ready = true;
        }
    }
    decoded.notify_all();
    return slot;
}

// Under the lock. Once the budget is full, frees the least recently used
// frames nobody holds (but *keep) until there is room, and reuses the last
// one freed; a new slot when every kept frame is held, or null with keep.
std::shared_ptr<DataFrame> FrameStore::takeSlot(const std::size_t* keep)
{
    std::shared_ptr<DataFrame> reused;
    auto entry = entries.end();
    while (entries.size() >= capacity && entry != entries.begin()) {
        --entry;
        if (!entry->ready || entry->data.use_count() != 1 || (keep && entry->index == *keep)) {
            continue;
        }
        reused = std::move(entry->data);
        entry = entries.erase(entry);
    }
    if (keep && entries.size() >= capacity) {
        return nullptr;
    }
    return reused ? reused : std::make_shared<DataFrame>();
}

void FrameStore::decode(std::size_t index, DataFrame& frame) const
{
    const Source& source = sources[index];
    std::string reason;
    try {
        if (reader) {
            reason = decodeRaw(index, frame);
        } else {
            FrameReader files(size, layerCount);
            const FrameReader::Result result = files.read(source.path, frame, &ranges);
            if (result == FrameReader::Result::CannotOpen) {
                reason = std::strerror(errno);
            } else if (result == FrameReader::Result::TooShort) {
                reason = "the file is shorter than the grid needs";
            } else if (files.stamp() != source.stamp) {
                reason = changed;
            }
        }
    } catch (const std::bad_alloc&) {
        reason = "out of memory";
    }
    if (!reason.empty()) {
        TOOL_THROW("FrameStore::frame()", "Couldn't read " + source.path + ": " + reason);
    }
}

std::string FrameStore::decodeRaw(std::size_t index, DataFrame& frame) const
{
    // The reader's own failures name the file already.
    RawFrames::shape(reader->layout(), frame);
    reader->readFrame(index, frame);
    RawFrames::measureSpeed(frame);
    RawFrames::rescale(frame, ranges);
    BinaryFile file;
    return file.open(sources[index].path) && file.stamp() == sources[index].stamp ? std::string() : changed;
}

void FrameStore::prefetch(std::size_t index, std::size_t shown)
{
    if (index >= sources.size() || capacity < 2) {
        return;
    }
    std::lock_guard<std::mutex> lock(mutex);
    if (stopping) {
        return;
    }
    wanted = index;
    wantedBeside = shown;
    pending = true;
    if (!worker.joinable()) {
        try {
            worker = Tool::startThread([this] { prefetchLoop(); });
        } catch (const std::system_error&) {
            pending = false; // no thread to spare: the frame is read when it is shown
            return;
        }
    }
    requested.notify_all();
}

void FrameStore::prefetchLoop()
{
    std::unique_lock<std::mutex> lock(mutex);
    while (true) {
        requested.wait(lock, [this] { return stopping || pending; });
        if (stopping) {
            return;
        }
        const std::size_t index = wanted;
        const std::size_t shown = wantedBeside;
        pending = false;
        lock.unlock();
        try {
            fetch(index, &shown);
        } catch (...) {
            // Reported by the thread that shows the frame, in the log's order.
        }
        lock.lock();
    }
}

#include "flowdata/FrameQueue.h"

#include "diagnostics/ThreadStart.h"
#include "flowdata/Parallel.h"

#include <algorithm>
#include <system_error>

FrameQueue::FrameQueue(std::vector<std::string> paths, const std::array<uint32_t, 3>& size, uint32_t layerCount)
    : paths(std::move(paths)), items(this->paths.size()), errors(this->paths.size()), done(this->paths.size(), 0)
{
    const std::size_t threads = std::min<std::size_t>(workerCount(), this->paths.size());
    workers.reserve(threads);
    for (std::size_t t = 0; t < threads; ++t) {
        try {
            workers.push_back(Tool::startThread([this, size, layerCount] { work(size, layerCount); }));
        } catch (const std::system_error&) {
            break; // fewer workers, or none: wait() then reads on the caller's thread
        }
    }
    if (workers.empty()) {
        inlineReader = std::make_unique<FrameReader>(size, layerCount);
    }
}

FrameQueue::~FrameQueue()
{
    stopping = true;
    for (std::thread& worker : workers) {
        worker.join();
    }
}

FrameQueue::Item& FrameQueue::wait(std::size_t index)
{
    if (inlineReader) {
        items[index].result = inlineReader->measure(paths[index], items[index].frame);
        items[index].stamp = inlineReader->stamp();
        return items[index];
    }
    std::unique_lock<std::mutex> lock(mutex);
    finished.wait(lock, [&] { return done[index] != 0; });
    if (errors[index]) {
        std::rethrow_exception(errors[index]);
    }
    return items[index];
}

void FrameQueue::work(std::array<uint32_t, 3> size, uint32_t layerCount)
{
    FrameReader reader(size, layerCount);
    for (std::size_t index = next++; index < paths.size() && !stopping; index = next++) {
        try {
            items[index].result = reader.measure(paths[index], items[index].frame);
            items[index].stamp = reader.stamp();
        } catch (...) {
            errors[index] = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            done[index] = 1;
        }
        finished.notify_all();
    }
}

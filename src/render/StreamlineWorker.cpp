#include "render/StreamlineWorker.h"

#include "diagnostics/Exception.h"
#include "diagnostics/ThreadStart.h"
#include "flowdata/FlowData.h"
#include "flowdata/StreamlineTracer.h"
#include "render/GridGeometry.h"
#include "transfer/SpeedColorMap.h"

#include <iterator>
#include <system_error>

namespace {
// Seeds per side of each seeded slice: 16 x 16 on the bottom and the middle
// slice shows the whole of a typical data set without crowding it.
constexpr uint32_t seedsPerSide = 16;
} // namespace

StreamlineWorker::StreamlineWorker(std::function<void()> ready) : ready(std::move(ready))
{
    try {
        thread = Tool::startThread([this] { run(); });
    } catch (const std::system_error&) {
        // No thread to spare: request() traces on the caller's thread.
    }
}

StreamlineWorker::~StreamlineWorker()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    if (thread.joinable()) {
        thread.join();
    }
}

void StreamlineWorker::request(Job job)
{
    if (!thread.joinable()) {
        Result result = trace(job);
        std::lock_guard<std::mutex> lock(mutex);
        keep(std::move(result));
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        pending = std::make_unique<Job>(std::move(job));
    }
    changed.notify_all();
}

bool StreamlineWorker::take(Result& out)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!fresh) {
        return false;
    }
    out = std::move(finished);
    fresh = false;
    return true;
}

void StreamlineWorker::wait()
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return !pending && !busy; });
}

void StreamlineWorker::cancel()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        pending.reset();
    }
    wait();
}

void StreamlineWorker::run()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [this] { return stopping || pending; });
        if (stopping) {
            return;
        }
        const std::unique_ptr<Job> job = std::move(pending);
        busy = true;
        lock.unlock();
        Result result = trace(*job);
        lock.lock();
        keep(std::move(result));
        busy = false;
        changed.notify_all();
        lock.unlock();
        ready();
        lock.lock();
    }
}

// Under the lock. A result not taken yet gives way to the newer one, but its
// failures stay to be logged.
void StreamlineWorker::keep(Result result)
{
    if (fresh) {
        result.failures.insert(result.failures.begin(), std::make_move_iterator(finished.failures.begin()),
                               std::make_move_iterator(finished.failures.end()));
    }
    finished = std::move(result);
    fresh = true;
}

StreamlineWorker::Result StreamlineWorker::trace(const Job& job)
{
    Result result;
    result.id = job.id;
    if (!job.data || !job.positions) {
        return result;
    }
    try {
        traceInto(job, result);
    } catch (const Tool::Exception& e) {
        result = Result();
        result.id = job.id;
        result.failures.push_back(e.toMessage());
    } catch (const std::exception& e) {
        // Whatever else goes wrong (memory above all) is a failure line too,
        // not the end of the process.
        result = Result();
        result.id = job.id;
        const Tool::Exception failure("StreamlineWorker::trace()",
                                      "Couldn't trace the streamlines of frame " + std::to_string(job.frame) + ": " +
                                          Tool::reasonOf(e),
                                      __FILE__, __LINE__);
        result.failures.push_back(failure.toMessage());
    }
    return result;
}

void StreamlineWorker::traceInto(const Job& job, Result& result)
{
    const std::shared_ptr<const DataFrame> frame = job.data->frame(job.frame);
    const GridGeometry grid(*job.positions, job.size);
    const StreamlineTracer tracer(*job.positions, job.size, frame->vectors, frame->speedMax);
    if (!grid.valid() || !tracer.valid()) {
        return;
    }
    for (const Streamline& line : tracer.traceAll(StreamlineTracer::seedLattice(job.size, seedsPerSide))) {
        result.first.push_back(int(result.vertices.size() / 6));
        result.count.push_back(int(line.points.size()));
        for (size_t n = 0; n < line.points.size(); ++n) {
            const std::array<float, 3> p = grid.normalise(line.points[n][0], line.points[n][1], line.points[n][2]);
            const std::array<float, 3> c = SpeedColorMap::ofSpeed(line.speeds[n], job.slowest, job.fastest);
            result.vertices.insert(result.vertices.end(), {p[0], p[1], p[2], c[0], c[1], c[2]});
        }
    }
}

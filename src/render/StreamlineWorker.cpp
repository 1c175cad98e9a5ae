#include "render/StreamlineWorker.h"

#include "diagnostics/Exception.h"
#include "flowdata/FlowData.h"
#include "flowdata/StreamlineTracer.h"
#include "render/GridGeometry.h"
#include "transfer/SpeedColorMap.h"

namespace {
// Seeds per side of each seeded slice: 16 x 16 on the bottom and the middle
// slice shows the whole of a typical data set without crowding it.
constexpr uint32_t seedsPerSide = 16;
} // namespace

StreamlineWorker::StreamlineWorker(std::function<void()> ready) : ready(std::move(ready)), thread([this] { run(); }) {}

StreamlineWorker::~StreamlineWorker()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    thread.join();
}

void StreamlineWorker::request(Job job)
{
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
        finished = std::move(result);
        fresh = true;
        busy = false;
        changed.notify_all();
        lock.unlock();
        ready();
        lock.lock();
    }
}

StreamlineWorker::Result StreamlineWorker::trace(const Job& job)
{
    Result result;
    result.id = job.id;
    if (!job.data || !job.positions) {
        return result;
    }
    std::shared_ptr<const DataFrame> frame;
    try {
        frame = job.data->frame(job.frame);
    } catch (const Tool::Exception& e) {
        result.failures.push_back(e.toMessage());
        return result;
    }
    const GridGeometry grid(*job.positions, job.size);
    const StreamlineTracer tracer(*job.positions, job.size, frame->vectors, frame->speedMax);
    if (!grid.valid() || !tracer.valid()) {
        return result;
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
    return result;
}

#pragma once

#include "diagnostics/Message.h"

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class FlowData;

// Traces the streamlines of one frame on a thread of its own, so that a paint
// never waits for them. A request replaces one that has not started; the
// caller takes the newest result when it is ready. Touches no GL and no Qt.
class StreamlineWorker {
public:
    // What is traced: the grid's positions (a copy the worker shares, as the
    // data set may be reloaded meanwhile), frame `frame` of `data`, coloured
    // over the data set's speed range.
    struct Job {
        uint64_t id = 0;
        const FlowData* data = nullptr;
        std::shared_ptr<const std::vector<float>> positions;
        std::array<uint32_t, 3> size{{0, 0, 0}};
        uint32_t frame = 0;
        float slowest = 0, fastest = 0;
    };
    // The lines as strips of vertices (x, y, z in the normalised box, then
    // red, green, blue), and what went wrong, to be logged by the caller.
    struct Result {
        uint64_t id = 0;
        std::vector<float> vertices;
        std::vector<int> first, count;
        std::vector<Tool::Message> failures;
    };

    // ready runs on the worker thread after each result. When no thread can
    // be started, request() traces on the caller's thread and ready is not run.
    explicit StreamlineWorker(std::function<void()> ready);
    ~StreamlineWorker();
    StreamlineWorker(const StreamlineWorker&) = delete;
    StreamlineWorker& operator=(const StreamlineWorker&) = delete;

    void request(Job job);
    // Moves the newest unread result into out; false when there is none.
    bool take(Result& out);
    // Blocks until every request made so far is done.
    void wait();
    // Drops a request that has not started and waits for the one that has.
    void cancel();

    // The work itself, on the calling thread.
    static Result trace(const Job& job);

private:
    void run();
    void keep(Result result);
    static void traceInto(const Job& job, Result& result);

    std::function<void()> ready;
    std::mutex mutex;
    std::condition_variable changed;
    std::unique_ptr<Job> pending;
    bool busy = false;
    bool stopping = false;
    bool fresh = false;
    Result finished;
    std::thread thread;
};

#include "flowdata/Parallel.h"

#include "diagnostics/ThreadStart.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

unsigned workerCount()
{
    return std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
}

void parallelFor(std::size_t count, const std::function<void(unsigned worker, std::size_t index)>& task)
{
    const unsigned threads = static_cast<unsigned>(std::min<std::size_t>(workerCount(), count));
    std::atomic<std::size_t> next{0};
    std::mutex failureMutex;
    std::exception_ptr failure;
    // What a task throws ends the pass for every thread and is rethrown to
    // the caller once all have stopped.
    auto work = [&](unsigned worker) {
        try {
            for (std::size_t index = next++; index < count; index = next++) {
                task(worker, index);
            }
        } catch (...) {
            next = count;
            std::lock_guard<std::mutex> lock(failureMutex);
            if (!failure) {
                failure = std::current_exception();
            }
        }
    };
    std::vector<std::thread> helpers;
    helpers.reserve(threads);
    for (unsigned worker = 1; worker < threads; ++worker) {
        try {
            helpers.push_back(Tool::startThread([&work, worker] { work(worker); }));
        } catch (const std::system_error&) {
            break; // the calling thread does the rest
        }
    }
    work(0);
    for (std::thread& helper : helpers) {
        helper.join();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

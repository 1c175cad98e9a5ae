#include "flowdata/Parallel.h"

#include <algorithm>
#include <atomic>
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
    auto work = [&](unsigned worker) {
        for (std::size_t index = next++; index < count; index = next++) {
            task(worker, index);
        }
    };
    std::vector<std::thread> helpers;
    for (unsigned worker = 1; worker < threads; ++worker) {
        try {
            helpers.emplace_back(work, worker);
        } catch (const std::system_error&) {
            break; // the calling thread does the rest
        }
    }
    work(0);
    for (std::thread& helper : helpers) {
        helper.join();
    }
}

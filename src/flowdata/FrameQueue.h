#pragma once

#include "flowdata/DataFrame.h"
#include "flowdata/FrameReader.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Measures frame files on worker threads while the caller takes the results
// in file order, so logging and progress stay on the caller's thread and in
// sequence. Destroying the queue stops the workers after their current file.
class FrameQueue {
public:
    struct Item {
        FrameReader::Result result = FrameReader::Result::CannotOpen;
        DataFrame frame; // layers and extremes only
        BinaryFile::Stamp stamp;
    };

    FrameQueue(std::vector<std::string> paths, const std::array<uint32_t, 3>& size, uint32_t layerCount);
    FrameQueue(const FrameQueue&) = delete;
    FrameQueue& operator=(const FrameQueue&) = delete;
    ~FrameQueue();

    // Blocks until file index is measured; the caller may move the frame out.
    // Rethrows what the worker met (running out of memory).
    Item& wait(std::size_t index);

    const std::string& path(std::size_t index) const { return paths[index]; }

private:
    void work(std::array<uint32_t, 3> size, uint32_t layerCount);

    const std::vector<std::string> paths;
    std::vector<Item> items;
    std::vector<std::exception_ptr> errors;
    std::vector<char> done;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stopping{false};
    std::mutex mutex;
    std::condition_variable finished;
    std::vector<std::thread> workers;
    // Reads on the caller's thread when no worker could be started.
    std::unique_ptr<FrameReader> inlineReader;
};

#include "export/MovieWriter.h"

#include "diagnostics/ThreadStart.h"

#include <system_error>

namespace {
constexpr size_t maximumWaiting = 2;
}

MovieWriter::MovieWriter(const std::string& path, int width, int height, double framesPerSecond)
    : encoder(path, width, height, framesPerSecond)
{
    try {
        worker = Tool::startThread([this] { work(); });
    } catch (const std::system_error&) {
        // No thread to spare: write() encodes on the caller's thread.
    }
}

MovieWriter::~MovieWriter()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        waiting.clear();
    }
    stop();
}

void MovieWriter::stop()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        closing = true;
    }
    changed.notify_all();
    if (worker.joinable()) {
        worker.join();
    }
}

void MovieWriter::write(std::vector<unsigned char>& rgba)
{
    if (!worker.joinable()) {
        encoder.encode(rgba);
        return;
    }
    std::unique_lock<std::mutex> guard(lock);
    changed.wait(guard, [this] { return waiting.size() < maximumWaiting || failure; });
    if (failure) {
        std::rethrow_exception(failure);
    }
    waiting.push_back(std::move(rgba));
    rgba.clear();
    if (!spare.empty()) {
        rgba = std::move(spare.back());
        spare.pop_back();
    }
    guard.unlock();
    changed.notify_all();
}

void MovieWriter::finish()
{
    {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait(guard, [this] { return (waiting.empty() && !busy) || failure; });
    }
    stop();
    if (failure) {
        std::rethrow_exception(failure);
    }
    encoder.finish();
}

void MovieWriter::work()
{
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
        changed.wait(guard, [this] { return !waiting.empty() || closing; });
        if (waiting.empty()) {
            return;
        }
        std::vector<unsigned char> picture = std::move(waiting.front());
        waiting.pop_front();
        busy = true;
        guard.unlock();
        std::exception_ptr error;
        try {
            encoder.encode(picture);
        } catch (...) {
            error = std::current_exception();
        }
        guard.lock();
        busy = false;
        failure = error;
        spare.push_back(std::move(picture));
        changed.notify_all();
        if (failure) {
            return;
        }
    }
}

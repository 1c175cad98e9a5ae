#include "diagnostics/ThreadStart.h"

#include <atomic>
#include <cerrno>
#include <new>
#include <system_error>

namespace {
std::atomic<bool> refusing{false};
} // namespace

namespace Tool {

std::thread startThread(std::function<void()> body)
{
    if (refusing) {
        throw std::system_error(EAGAIN, std::generic_category(), "thread creation refused");
    }
    return std::thread(std::move(body));
}

void refuseThreads(bool refuse)
{
    refusing = refuse;
}

std::string reasonOf(const std::exception& e)
{
    if (dynamic_cast<const std::bad_alloc*>(&e)) {
        return "out of memory";
    }
    return e.what();
}

} // namespace Tool

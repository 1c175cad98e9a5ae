#pragma once

#include <functional>
#include <string>
#include <thread>

namespace Tool {

// Starts every worker thread of the program. Throws std::system_error when
// the system gives no thread (out of memory, address space or threads);
// each caller then does the work on its own thread or reports a failure.
std::thread startThread(std::function<void()> body);

// Makes every following startThread fail as an exhausted system does, for
// tests of the paths that must cope with it.
void refuseThreads(bool refuse);

// What a failure other than Tool::Exception says in a log line.
std::string reasonOf(const std::exception& e);

} // namespace Tool

#pragma once

#include "diagnostics/Message.h"

#include <string>

namespace Tool {

// Writes messages to the console: level 3 to standard error, the rest to
// standard output. Also the base of every listener.
class LogListener {
public:
    virtual ~LogListener() = default;
    virtual std::string format(const Message& message);
    virtual void handle(const Message& message);
};

} // namespace Tool

#pragma once

#include "diagnostics/LogListener.h"
#include "diagnostics/Message.h"

#include <deque>

namespace Tool {

// The single log dispatcher. While enabled it keeps a copy of every message
// and hands it to each listener in registration order.
class Logger {
public:
    static Logger& instance();

    // False when the listener is already registered. With replay, the new
    // listener first receives the whole history, oldest first.
    bool addListener(LogListener* listener, bool replay);
    void log(const Message& message);

    std::deque<Message> history;
    std::deque<LogListener*> listeners;
    bool enabled = false;

private:
    Logger() = default;
};

// Logs a level-1 message; the common case everywhere.
void log(const std::string& source, const std::string& text, const std::string& details = std::string());

} // namespace Tool

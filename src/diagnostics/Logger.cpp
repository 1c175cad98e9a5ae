#include "diagnostics/Logger.h"

#include <algorithm>

namespace Tool {

Logger& Logger::instance()
{
    // Never destroyed: messages may be logged until the process ends.
    static Logger* logger = new Logger();
    return *logger;
}

bool Logger::addListener(LogListener* listener, bool replay)
{
    if (std::find(listeners.begin(), listeners.end(), listener) != listeners.end()) {
        return false;
    }
    listeners.push_back(listener);
    if (replay) {
        for (const Message& message : history) {
            listener->handle(message);
        }
    }
    return true;
}

void Logger::log(const Message& message)
{
    if (!enabled) {
        return;
    }
    history.push_back(message);
    const Message& kept = history.back();
    for (LogListener* listener : listeners) {
        listener->handle(kept);
    }
}

void log(const std::string& source, const std::string& text, const std::string& details)
{
    Logger::instance().log(Message(source, text, details, 1));
}

} // namespace Tool

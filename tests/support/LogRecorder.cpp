#include "support/LogRecorder.h"

#include "diagnostics/Logger.h"

#include <algorithm>

void LogRecorder::handle(const Tool::Message& message)
{
    messages.push_back(message);
}

void LogRecorder::listen()
{
    Tool::Logger& logger = Tool::Logger::instance();
    logger.addListener(this, false);
    logger.enabled = true;
}

std::vector<std::string> LogRecorder::texts() const
{
    std::vector<std::string> out;
    for (const Tool::Message& message : messages) {
        out.push_back(message.text);
    }
    return out;
}

std::size_t LogRecorder::count(const std::string& text) const
{
    return static_cast<std::size_t>(std::count_if(messages.begin(), messages.end(),
                                                  [&](const Tool::Message& message) { return message.text == text; }));
}

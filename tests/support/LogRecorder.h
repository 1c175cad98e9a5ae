#pragma once

#include "diagnostics/LogListener.h"

#include <cstddef>
#include <string>
#include <vector>

// Keeps every message handed to it, for tests that check what was logged.
class LogRecorder : public Tool::LogListener {
public:
    void handle(const Tool::Message& message) override;

    // Registers with the logger, without replay, and turns logging on.
    void listen();
    std::vector<std::string> texts() const;
    // Messages whose text is exactly text.
    std::size_t count(const std::string& text) const;

    std::vector<Tool::Message> messages;
};

#pragma once

#include "diagnostics/Message.h"

#include <string>

namespace Tool {

// The only exception type the application's own code throws. It carries the
// throwing method, a text and the throw site; toMessage() turns it into a
// loggable message stamped with the time of the throw.
class Exception : public Message {
public:
    Exception(const std::string& source, const std::string& text, const std::string& file, int line);
    Exception(const Exception& other);

    using Message::operator=;
    virtual Exception& operator=(const Exception& other);

    Message toMessage() const;

    std::string source;
    std::string text;
    std::string file;
    int line = 0;
    boost::posix_time::ptime time;
};

} // namespace Tool

// Throws a Tool::Exception from the current file and line.
#define TOOL_THROW(source, text) throw ::Tool::Exception((source), (text), __FILE__, __LINE__)

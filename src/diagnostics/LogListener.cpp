#include "diagnostics/LogListener.h"

#include <iostream>

namespace Tool {

std::string LogListener::format(const Message& message)
{
    std::string out = "* " + message.source + ": " + message.text;
    if (!message.details.empty()) {
        out += "\n\t" + message.details;
    }
    return out;
}

void LogListener::handle(const Message& message)
{
    std::ostream& out = message.level == 3 ? std::cerr : std::cout;
    out << format(message) << std::endl;
    // A closed or full console must not silence the lines after it.
    out.clear();
}

} // namespace Tool

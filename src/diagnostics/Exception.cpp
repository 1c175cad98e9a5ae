#include "diagnostics/Exception.h"

namespace Tool {

Exception::Exception(const std::string& source, const std::string& text, const std::string& file, int line)
    : source(source), text(text), file(file), line(line), time(Message::now())
{
}

Exception::Exception(const Exception& other)
    : Message(), source(other.source), text(other.text), file(other.file), line(other.line), time(other.time)
{
}

Exception& Exception::operator=(const Exception& other)
{
    source = other.source;
    text = other.text;
    file = other.file;
    line = other.line;
    time = other.time;
    return *this;
}

Message Exception::toMessage() const
{
    // The line is printed unsigned, as the throw site's line macro gives it.
    return Message("** Exception: " + file + "(" + std::to_string(static_cast<unsigned>(line)) + ")", source, text, 1,
                   time);
}

} // namespace Tool

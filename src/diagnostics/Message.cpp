#include "diagnostics/Message.h"

#include <boost/date_time/posix_time/posix_time.hpp>

namespace Tool {

boost::posix_time::ptime Message::now()
{
    return boost::posix_time::microsec_clock::local_time();
}

Message::Message() : time(now()) {}

Message::Message(const std::string& source, const std::string& text, const std::string& details, int level)
    : source(source), text(text), details(details), level(level), time(now())
{
}

Message::Message(const std::string& source, const std::string& text, const std::string& details, int level,
                 const boost::posix_time::ptime& time)
    : source(source), text(text), details(details), level(level), time(time)
{
}

Message& Message::operator=(const Message& other)
{
    source = other.source;
    text = other.text;
    details = other.details;
    level = other.level;
    time = other.time;
    return *this;
}

} // namespace Tool

#pragma once

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <string>

namespace Tool {

// One log message: where it comes from, what happened, optional details,
// a severity level and the local time it was built.
class Message {
public:
    Message();
    Message(const std::string& source, const std::string& text, const std::string& details, int level);
    Message(const std::string& source, const std::string& text, const std::string& details, int level,
            const boost::posix_time::ptime& time);
    Message(const Message&) = default;
    virtual ~Message() = default;

    virtual Message& operator=(const Message& other);

    std::string source;
    std::string text;
    std::string details;
    int level = 0;
    boost::posix_time::ptime time;

    // Local wall-clock time with microseconds.
    static boost::posix_time::ptime now();
};

} // namespace Tool

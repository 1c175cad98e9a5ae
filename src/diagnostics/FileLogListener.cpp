#include "diagnostics/FileLogListener.h"

#include <boost/date_time/posix_time/posix_time.hpp>

#include <locale>
#include <sstream>

namespace Tool {

FileLogListener::FileLogListener(const std::string& fileName)
    : fileName(fileName), stream(fileName, std::ios::out | std::ios::trunc)
{
}

FileLogListener::~FileLogListener()
{
    stream.close();
}

std::string FileLogListener::timeStamp(const boost::posix_time::ptime& time)
{
    std::ostringstream out;
    // The locale takes ownership of the facet.
    out.imbue(std::locale(std::locale::classic(), new boost::posix_time::time_facet("%H:%M:%s")));
    out << time;
    return out.str();
}

std::string FileLogListener::format(const Message& message)
{
    std::string out = "[" + timeStamp(message.time) + "] " + message.source + ": " + message.text;
    if (!message.details.empty())
        out += "\n\tDetails: " + message.details;
    return out;
}

void FileLogListener::handle(const Message& message)
{
    stream << format(message) << std::endl;
}

} // namespace Tool

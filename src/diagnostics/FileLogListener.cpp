#include "diagnostics/FileLogListener.h"

#include <boost/date_time/posix_time/posix_time.hpp>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <locale>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace Tool {

FileLogListener::FileLogListener(const std::string& fileName) : fileName(fileName)
{
    // Opening a pipe for writing would wait for a reader: look without
    // blocking first, and write only to a regular file.
    const int fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        failure = std::strerror(errno);
    } else {
        struct stat status;
        if (::fstat(fd, &status) != 0) {
            failure = std::strerror(errno);
        } else if (!S_ISREG(status.st_mode)) {
            failure = "not a regular file";
        }
        ::close(fd);
    }
    if (failure.empty()) {
        stream.open(fileName, std::ios::out | std::ios::trunc);
    }
    if (failure.empty() && !stream.is_open()) {
        failure = "cannot be opened";
    }
    stream.setstate(failure.empty() ? std::ios::goodbit : std::ios::failbit);
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
    if (!message.details.empty()) {
        out += "\n\tDetails: " + message.details;
    }
    return out;
}

void FileLogListener::handle(const Message& message)
{
    stream << format(message) << std::endl;
}

} // namespace Tool

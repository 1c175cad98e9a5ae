#pragma once

#include "diagnostics/LogListener.h"

#include <fstream>
#include <string>

namespace Tool {

// Writes every message with its time stamp to a log file that is truncated
// when the listener is created. Each line is flushed, so the file is
// complete at any moment. A name that is not a regular file (a pipe, a
// folder) or cannot be opened leaves the stream failed and every write
// ignored; failure then says why.
class FileLogListener : public LogListener {
public:
    explicit FileLogListener(const std::string& fileName);
    ~FileLogListener() override;

    std::string format(const Message& message) override;
    void handle(const Message& message) override;

    // "HH:MM:SS.ffffff", always six fractional digits.
    static std::string timeStamp(const boost::posix_time::ptime& time);

    std::string fileName;
    std::ofstream stream;
    // Why the file is not written; empty when it is.
    std::string failure;
};

} // namespace Tool

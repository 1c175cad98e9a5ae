#include "flowdata/BinaryFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Large requests, but bounded so a single call never stalls for long.
constexpr std::size_t maximumRequest = std::size_t(1) << 30;
} // namespace

BinaryFile::~BinaryFile()
{
    close();
}

bool BinaryFile::open(const std::string& path)
{
    close();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size < 0) {
        ::close(fd);
        return false;
    }
    descriptor = fd;
    bytes = static_cast<uint64_t>(status.st_size);
    return true;
}

void BinaryFile::close()
{
    if (descriptor >= 0)
        ::close(descriptor);
    descriptor = -1;
    bytes = 0;
}

std::size_t BinaryFile::read(void* target, std::size_t count)
{
    if (descriptor < 0)
        return 0;
    char* out = static_cast<char*>(target);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::read(descriptor, out + done, std::min(count - done, maximumRequest));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

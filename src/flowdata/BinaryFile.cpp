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

bool BinaryFile::Stamp::operator==(const Stamp& other) const
{
    return device == other.device && inode == other.inode && size == other.size && modified == other.modified;
}

BinaryFile::~BinaryFile()
{
    close();
}

bool BinaryFile::open(const std::string& path)
{
    close();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return false;
    }
    struct stat status {};
    int reason = 0;
    if (::fstat(fd, &status) != 0) {
        reason = errno;
    } else if (!S_ISREG(status.st_mode) || status.st_size < 0) {
        reason = EISDIR;
    }
    if (reason != 0) {
        ::close(fd);
        errno = reason;
        return false;
    }
    descriptor = fd;
    offset = 0;
    stamp_.device = status.st_dev;
    stamp_.inode = status.st_ino;
    stamp_.size = static_cast<uint64_t>(status.st_size);
    stamp_.modified = int64_t(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    return true;
}

void BinaryFile::close()
{
    if (descriptor >= 0) {
        ::close(descriptor);
    }
    descriptor = -1;
    offset = 0;
    stamp_ = Stamp();
}

std::size_t BinaryFile::read(void* target, std::size_t count)
{
    const std::size_t done = readAt(target, count, offset);
    offset += done;
    return done;
}

std::size_t BinaryFile::readAt(void* target, std::size_t count, uint64_t position) const
{
    if (descriptor < 0) {
        return 0;
    }
    char* out = static_cast<char*>(target);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(descriptor, out + done, std::min(count - done, maximumRequest),
                                    static_cast<off_t>(position + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

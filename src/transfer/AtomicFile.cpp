#include "transfer/AtomicFile.h"

#include "diagnostics/Exception.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string folderOf(const std::string& path)
{
    const std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A new file gets the permissions of the one it replaces, or the usual ones
// for a new file when there is none.
mode_t modeFor(const std::string& path)
{
    struct stat status;
    if (::stat(path.c_str(), &status) == 0) {
        return status.st_mode & 07777;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

std::string resolveLink(const std::string& path)
{
    struct stat status;
    if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
        return path;
    }
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) {
        return path;
    }
    const std::string target = resolved;
    std::free(resolved);
    return target;
}

std::string kindOf(mode_t mode)
{
    return S_ISDIR(mode)    ? "a folder"
           : S_ISCHR(mode)  ? "a character device"
           : S_ISBLK(mode)  ? "a block device"
           : S_ISFIFO(mode) ? "a pipe"
           : S_ISSOCK(mode) ? "a socket"
                            : "a special file";
}

[[noreturn]] void fail(const char* source, const std::string& what, int error)
{
    TOOL_THROW(source, what + ": " + std::strerror(error));
}

// Temporary files modified before this process started belong to no running
// save of it: a save that was killed left them behind. File times are coarser
// than the clock, so a margin keeps a file written just now from looking older.
const fs::file_time_type staleBefore = fs::file_time_type::clock::now() - std::chrono::seconds(2);

// The name of one of our temporary files of path: its name, '.', and the six
// letters and digits mkostemp picks. At least one digit or capital is asked
// for, so that a user's "NAME.backup" is never taken for one.
bool isTemporaryName(const std::string& name, const std::string& fileName)
{
    const std::size_t length = fileName.size() + 7;
    if (name.size() != length || name.compare(0, fileName.size(), fileName) != 0 || name[fileName.size()] != '.') {
        return false;
    }
    const std::string suffix = name.substr(fileName.size() + 1);
    const auto isSuffixChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
    const auto isDigitOrCapital = [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) || std::isupper(static_cast<unsigned char>(c));
    };
    return std::all_of(suffix.begin(), suffix.end(), isSuffixChar) &&
           std::any_of(suffix.begin(), suffix.end(), isDigitOrCapital);
}

// Removes the temporary files that killed saves left next to path. Only
// regular files of our own user and older than this process are removed.
void removeStaleTemporaries(const std::string& path)
{
    const std::string fileName = fs::path(path).filename().string();
    std::error_code error;
    for (fs::directory_iterator entry(folderOf(path), error), end; !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        struct stat status;
        if (!isTemporaryName(name, fileName) || ::lstat(entry->path().c_str(), &status) != 0 ||
            !S_ISREG(status.st_mode) || status.st_uid != ::geteuid()) {
            continue;
        }
        std::error_code timeError;
        const fs::file_time_type modified = fs::last_write_time(entry->path(), timeError);
        if (!timeError && modified < staleBefore) {
            ::unlink(entry->path().c_str());
        }
    }
}

} // namespace

AtomicFile::AtomicFile(const std::string& linkOrPath) : path(resolveLink(linkOrPath))
{
    // A symbolic link keeps pointing at the file it names; that file is
    // replaced, but only a regular file: a device, a pipe or a folder stays.
    struct stat status;
    if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        TOOL_THROW("AtomicFile::AtomicFile()",
                   "\"" + linkOrPath + "\" is " + kindOf(status.st_mode) + ", not a regular file; it is left as it is");
    }
    removeStaleTemporaries(path);
    std::vector<char> name(path.begin(), path.end());
    const std::string suffix = ".XXXXXX";
    name.insert(name.end(), suffix.begin(), suffix.end());
    name.push_back('\0');
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        fail("AtomicFile::AtomicFile()", "cannot create a temporary file next to \"" + path + "\"", errno);
    }
    temporary = name.data();
    if (::fchmod(fd, modeFor(path)) != 0) {
        abandon("AtomicFile::AtomicFile()", "cannot set the permissions of the temporary file", errno);
    }
}

AtomicFile::~AtomicFile()
{
    if (committed) {
        return;
    }
    if (fd >= 0) {
        ::close(fd);
    }
    ::unlink(temporary.c_str());
}

void AtomicFile::abandon(const char* source, const std::string& what, int error)
{
    if (fd >= 0) {
        ::close(fd);
    }
    fd = -1;
    ::unlink(temporary.c_str());
    committed = true; // nothing left for the destructor
    fail(source, what, error);
}

void AtomicFile::append(const char* data, std::size_t left)
{
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            abandon("AtomicFile::append()", "cannot write the temporary file", errno);
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
}

void AtomicFile::commit()
{
    // A full disk may only show when the data is flushed or the file closed.
    if (::fsync(fd) != 0) {
        abandon("AtomicFile::commit()", "cannot flush the temporary file", errno);
    }
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0) {
        abandon("AtomicFile::commit()", "cannot close the temporary file", errno);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        abandon("AtomicFile::commit()", "cannot rename the temporary file over \"" + path + "\"", errno);
    }
    committed = true;

    // Make the rename itself durable.
    const int folder = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

void AtomicFile::write(const std::string& path, const std::string& contents)
{
    AtomicFile file(path);
    file.append(contents.data(), contents.size());
    file.commit();
}

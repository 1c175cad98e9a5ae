#include "transfer/PresetManager.h"

#include "diagnostics/Exception.h"
#include "diagnostics/Logger.h"
#include "transfer/AtomicFile.h"
#include "transfer/PresetArchive.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool exists(const std::string& path)
{
    struct stat status;
    return ::lstat(path.c_str(), &status) == 0;
}

// The whole file, or a Tool::Exception with the reason.
std::string readFile(int fd)
{
    struct stat status;
    if (::fstat(fd, &status) != 0) {
        TOOL_THROW("PresetManager::load()", std::strerror(errno));
    }
    if (!S_ISREG(status.st_mode)) {
        TOOL_THROW("PresetManager::load()", "not a regular file");
    }
    if (status.st_size > static_cast<off_t>(PresetManager::maxFileSize)) {
        TOOL_THROW("PresetManager::load()", "the file is larger than 16 MiB");
    }

    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            TOOL_THROW("PresetManager::load()", std::strerror(errno));
        }
        if (got == 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
        // The file may have grown since fstat.
        if (text.size() > PresetManager::maxFileSize) {
            TOOL_THROW("PresetManager::load()", "the file is larger than 16 MiB");
        }
    }
    return text;
}

// The user may keep the file from being changed by taking away its write
// permission; the rename over it would not ask.
void checkWritable(const char* path)
{
    struct stat status;
    if (::stat(path, &status) != 0) {
        return;
    }
    if ((status.st_mode & 0222) == 0 || ::access(path, W_OK) != 0) {
        TOOL_THROW("PresetManager::save()", "the file is read-only");
    }
}

} // namespace

const char* const PresetManager::fileName = "Brindlemoor.presets";

PresetManager& PresetManager::getInstance()
{
    // Never destroyed: the store lives until the process ends.
    static PresetManager* instance = new PresetManager();
    return *instance;
}

void PresetManager::load()
{
    // Without O_NONBLOCK a pipe of that name would wait for a writer; regular
    // files read the same either way.
    const int fd = ::open(fileName, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0 && errno == ENOENT) {
        fileUnreadable = false;
        return;
    }
    try {
        if (fd < 0) {
            TOOL_THROW("PresetManager::load()", std::strerror(errno));
        }
        std::string text;
        try {
            text = readFile(fd);
        } catch (...) {
            ::close(fd);
            throw;
        }
        ::close(fd);
        preset = PresetArchive::read(text);
        fileUnreadable = false;
    } catch (const Tool::Exception& error) {
        fileUnreadable = true;
        Tool::log("PresetManager::load()", std::string("Reading presets file \"") + fileName + "\" .. [FAILED]",
                  error.text);
    }
}

bool PresetManager::moveAsideUnreadableFile()
{
    if (!exists(fileName)) {
        return true;
    }
    // Earlier backups are kept too: the first free name of .bak, .bak.1, ...
    std::string backup = std::string(fileName) + ".bak";
    for (int n = 1; exists(backup); ++n) {
        if (n > 999) {
            Tool::log("PresetManager::save()",
                      std::string("Moving unreadable presets file \"") + fileName + "\" aside .. [FAILED]",
                      "no free backup name");
            return false;
        }
        backup = std::string(fileName) + ".bak." + std::to_string(n);
    }
    if (::rename(fileName, backup.c_str()) != 0) {
        Tool::log("PresetManager::save()",
                  std::string("Moving unreadable presets file \"") + fileName + "\" aside .. [FAILED]",
                  std::strerror(errno));
        return false;
    }
    Tool::log("PresetManager::save()",
              std::string("Moved unreadable presets file \"") + fileName + "\" to \"" + backup + "\" .. [OK]");
    return true;
}

void PresetManager::save()
{
    try {
        const std::string text = PresetArchive::write(preset);
        // What save writes, load must read back.
        if (text.size() > maxFileSize) {
            TOOL_THROW("PresetManager::save()", "the presets would take more than 16 MiB");
        }
        checkWritable(fileName);
        if (fileUnreadable) {
            if (!moveAsideUnreadableFile()) {
                return;
            }
            fileUnreadable = false;
        }
        AtomicFile::write(fileName, text);
    } catch (const Tool::Exception& error) {
        Tool::log("PresetManager::save()", std::string("Writing presets file \"") + fileName + "\" .. [FAILED]",
                  error.text);
    }
}

std::vector<std::string> PresetManager::getPresetNames() const
{
    std::vector<std::string> names;
    names.reserve(preset.size());
    for (const auto& entry : preset) {
        names.push_back(entry.first);
    }
    return names;
}

bool PresetManager::hasPreset(const std::string& name) const
{
    return preset.find(name) != preset.end();
}

Transferfunction& PresetManager::getPreset(const std::string& name)
{
    return preset[name];
}

unsigned PresetManager::getPresetCount() const
{
    return static_cast<unsigned>(preset.size());
}

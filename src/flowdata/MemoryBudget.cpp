#include "flowdata/MemoryBudget.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <limits>
#include <sstream>
#include <unistd.h>

namespace {

constexpr uint64_t unlimited = std::numeric_limits<uint64_t>::max();

std::atomic<uint64_t> setLimit{0};

// The number in a limit file; "max", absence or garbage mean no limit.
uint64_t limitIn(const std::string& path)
{
    std::ifstream file(path);
    uint64_t bytes = 0;
    if (!(file >> bytes)) {
        return unlimited;
    }
    return bytes;
}

// The tightest limit from folder up to (and including) top.
uint64_t tightestUpwards(std::string folder, const std::string& top, const std::string& fileName)
{
    uint64_t tightest = unlimited;
    while (true) {
        tightest = std::min(tightest, limitIn(folder + "/" + fileName));
        if (folder.size() <= top.size()) {
            break;
        }
        folder.erase(folder.find_last_of('/'));
    }
    return tightest;
}

} // namespace

uint64_t MemoryBudget::cgroupLimit(const std::string& cgroupText, const std::string& root)
{
    uint64_t tightest = unlimited;
    std::istringstream lines(cgroupText);
    std::string line;
    while (std::getline(lines, line)) {
        // hierarchy-id:controllers:path; v2 has id 0 and no controllers.
        const std::size_t first = line.find(':');
        const std::size_t second = first == std::string::npos ? first : line.find(':', first + 1);
        if (second == std::string::npos) {
            continue;
        }
        const std::string controllers = line.substr(first + 1, second - first - 1);
        std::string path = line.substr(second + 1);
        // Paths are never trusted to stay below the mount.
        if (path.empty() || path[0] != '/' || path.find("/..") != std::string::npos) {
            continue;
        }
        if (path == "/") {
            path.clear();
        }
        if (controllers.empty()) {
            for (const std::string& mount : {root, root + "/unified"}) {
                tightest = std::min(tightest, tightestUpwards(mount + path, mount, "memory.max"));
            }
        } else {
            std::istringstream names(controllers);
            std::string name;
            while (std::getline(names, name, ',')) {
                if (name == "memory") {
                    tightest = std::min(
                        tightest, tightestUpwards(root + "/memory" + path, root + "/memory", "memory.limit_in_bytes"));
                }
            }
        }
    }
    return tightest;
}

uint64_t MemoryBudget::processLimit()
{
    const uint64_t set = setLimit;
    if (set != 0) {
        return set;
    }
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    uint64_t physical = pages > 0 && pageSize > 0 ? uint64_t(pages) * uint64_t(pageSize) : unlimited;
    std::ifstream file("/proc/self/cgroup");
    std::stringstream text;
    text << file.rdbuf();
    return std::min(physical, cgroupLimit(text.str(), "/sys/fs/cgroup"));
}

void MemoryBudget::setProcessLimit(uint64_t bytes)
{
    setLimit = bytes;
}

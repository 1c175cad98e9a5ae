#pragma once

#include <cstdint>
#include <string>

// How much memory this process may use, and the shares of it that decoded
// frames and the textures made from them may take. Within a container or
// under a memory cgroup the cgroup's limit counts, not the machine's memory.
class MemoryBudget {
public:
    // The smaller of physical memory and the tightest memory cgroup limit on
    // the way from the process's own cgroup up to the root, unless a limit
    // was set with setProcessLimit.
    static uint64_t processLimit();
    // Replaces what the system says; 0 reads the system again.
    static void setProcessLimit(uint64_t bytes);

    // A quarter for decoded frames, an eighth for textures; the rest is left
    // to the program itself, the driver and the page cache.
    static uint64_t frameBudget() { return processLimit() / 4; }
    static uint64_t textureBudget() { return processLimit() / 8; }

    // The tightest limit (v1 memory.limit_in_bytes, v2 memory.max) along the
    // cgroups named in a /proc/<pid>/cgroup text, with the cgroup file
    // systems mounted under root; UINT64_MAX when none is set.
    static uint64_t cgroupLimit(const std::string& cgroupText, const std::string& root);
};

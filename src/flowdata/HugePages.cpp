#include "flowdata/HugePages.h"

#include <cstdint>
#include <sys/mman.h>

namespace {
constexpr uintptr_t hugePage = uintptr_t(1) << 21;
} // namespace

void adviseHugePages(void* begin, std::size_t bytes)
{
    // Only whole huge pages; the advice is a hint, which a kernel without
    // transparent huge pages ignores.
    const uintptr_t first = (reinterpret_cast<uintptr_t>(begin) + hugePage - 1) & ~(hugePage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(begin) + bytes) & ~(hugePage - 1);
    if (end > first) {
        ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
    }
}

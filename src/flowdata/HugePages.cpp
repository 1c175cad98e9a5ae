#include "flowdata/HugePages.h"

#include <cstdint>
#include <sys/mman.h>

namespace {
constexpr uintptr_t hugePage = uintptr_t(1) << 21;
} // namespace

void resizeOnHugePages(std::vector<float>& values, std::size_t count)
{
    if (count > values.capacity()) {
        std::vector<float>().swap(values);
        values.reserve(count);
        // Only whole huge pages inside the buffer; the advice is a hint, and
        // a kernel without transparent huge pages just ignores it.
        const uintptr_t begin = (reinterpret_cast<uintptr_t>(values.data()) + hugePage - 1) & ~(hugePage - 1);
        const uintptr_t end = (reinterpret_cast<uintptr_t>(values.data() + count)) & ~(hugePage - 1);
        if (end > begin) {
            ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
        }
    }
    values.resize(count);
}

#pragma once

#include <cstddef>
#include <vector>

// Offers the whole 2 MiB pages within [begin, begin + bytes) to the kernel
// for huge pages. Filling a frame-sized buffer faults in tens of thousands
// of 4 KiB pages otherwise, at several microseconds each.
void adviseHugePages(void* begin, std::size_t bytes);

// Resizes values to count; a buffer that has to grow is reserved and
// advised before its first write.
template <class T> void resizeOnHugePages(std::vector<T>& values, std::size_t count)
{
    if (count > values.capacity()) {
        std::vector<T>().swap(values);
        values.reserve(count);
        adviseHugePages(values.data(), count * sizeof(T));
    }
    values.resize(count);
}

#pragma once

#include <cstddef>
#include <vector>

// Resizes values to count. A buffer that has to grow is first reserved and
// offered to the kernel for huge pages: filling a frame faults in tens of
// thousands of 4 KiB pages otherwise, at several microseconds each.
void resizeOnHugePages(std::vector<float>& values, std::size_t count);

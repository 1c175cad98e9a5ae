#pragma once

#include <cstdint>
#include <cstring>

// std::isfinite as a bit test, which keeps the loops it sits in vectorisable.
inline bool isFiniteFloat(float v)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    return (bits & 0x7fffffffu) <= 0x7f7fffffu;
}

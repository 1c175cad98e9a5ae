#include "PresetsFuzzEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    return presetsFuzzOneInput(data, size);
}

#include "FlowDataFuzzEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    return flowDataFuzzOneInput(data, size);
}

#pragma once

#include <cstddef>
#include <cstdint>

// One input for the grid and frame loader, shared by the fuzzer and the
// corpus replay: the input becomes a data set folder (see FuzzFolder.h) that
// is loaded. Every failure must be a Tool::Exception that leaves the set
// empty; every success must hold frames of the grid's sizes whose layer
// values all lie in 0 .. 1. Anything else aborts the process.
int flowDataFuzzOneInput(const uint8_t* data, std::size_t size);

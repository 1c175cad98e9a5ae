#pragma once

#include <cstddef>
#include <cstdint>

// One input for the presets reader, shared by the fuzzer and the corpus
// replay. Bad input must be rejected cleanly; whatever is accepted must write
// out and read back unchanged, or the process aborts.
int presetsFuzzOneInput(const uint8_t* data, std::size_t size);

#pragma once

#include "FlowGenerator.h"

#include <cstdint>
#include <string>
#include <vector>

// Writes a generated data set as BASE.gri and BASE_000.dat, BASE_001.dat, ...
// (the number zero-padded to at least three digits).
class FlowWriter {
public:
    // False with a reason in error when a file cannot be written or the
    // header does not fit its 40 bytes.
    static bool write(const std::string& basePath, const FlowGenerator& generator, std::string& error);

    // The 40 header bytes: the text, a line break, blanks up to byte 40.
    // Empty when the text is too long.
    static std::string header(const FlowGenerator::Settings& settings);

    static std::string frameFileName(const std::string& basePath, int32_t frame, int32_t frameFiles);

    // Bytes written by write(): grid plus frame files.
    static uint64_t dataSetBytes(const FlowGenerator& generator);
};

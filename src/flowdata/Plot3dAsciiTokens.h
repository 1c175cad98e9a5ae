#pragma once

#include "flowdata/BinaryFile.h"

#include <cstdint>
#include <string>
#include <vector>

// The numbers of a PLOT3D text file, one after another. Fortran's list-directed
// output writes n equal values as "n*value" and exponents with 'D'; both are
// read here, and a repeat is never expanded into memory.
class Plot3dAsciiTokens {
public:
    Plot3dAsciiTokens(const BinaryFile& file, const std::string& path);

    // False at the end of the file; throws on a word that is not a number.
    bool next(double& value);
    // Skips count values; false when the file ends first.
    bool skip(uint64_t count);
    // How many values follow, counting each repeat as many.
    uint64_t countRest();

    // True when every byte of head can belong to such a file.
    static bool looksLikeText(const char* head, std::size_t bytes);

private:
    bool word(std::string& text);
    void parse(const std::string& text);

    const BinaryFile& file;
    const std::string& path;
    std::vector<char> buffer;
    uint64_t filePosition = 0;
    std::size_t at = 0;
    std::size_t end = 0;
    double repeated = 0.0;
    uint64_t repeats = 0;
};

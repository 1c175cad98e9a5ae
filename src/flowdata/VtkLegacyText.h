#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class BinaryFile;

// Reads a legacy VTK file's text a word at a time through a block buffer,
// and tells where it is so binary data can be found after a keyword line.
class VtkLegacyText {
public:
    VtkLegacyText(const BinaryFile& file, uint64_t position);

    // The next word after white space; false at the end of the file or on a
    // word too long to be one of the format's.
    bool word(std::string& out);
    // The next word as a number; false when there is none or it is no number.
    bool number(double& value);
    // The rest of the line, its line break read too.
    std::string line();

    // Where the next byte would be read.
    uint64_t position() const { return start + at; }
    void seek(uint64_t position);

private:
    // The next byte without reading it, -1 at the end.
    int peek();

    const BinaryFile& file;
    std::vector<char> buffer;
    uint64_t start;
    std::size_t at = 0;
    std::size_t filled = 0;
};

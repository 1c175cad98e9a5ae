#pragma once

#include <string>
#include <vector>

// Finds the frame files of a grid file in its folder.
class FrameFiles {
public:
    // A frame file name begins with the grid's stem, and the (up to) four
    // characters from its last '.' are exactly ".dat" (so ".data" counts).
    static bool matches(const std::string& stem, const std::string& fileName);

    // Natural order: numbers compare by value, so run_2 < run_10; digits, a
    // '.' and digits make one decimal number, so flow_0.25 < flow_0.5.
    static bool naturalLess(const std::string& a, const std::string& b);

    // The names of the regular files in folder that match stem, in natural
    // order. Entries that are not regular files (folders, FIFOs, broken or
    // looping links) are skipped without being opened. False when the
    // folder cannot be enumerated.
    static bool list(const std::string& folder, const std::string& stem, std::vector<std::string>& names);
};

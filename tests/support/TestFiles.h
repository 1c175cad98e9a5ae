#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Files as tests write and read them: whole files of bytes, and the bytes of
// grid and frame files written by hand, well formed or not.
class TestFiles {
public:
    // The 40 header bytes: the text, a line break, blanks.
    static std::string header(const std::string& text);
    static std::string floatBytes(const std::vector<float>& values);
    // Node positions of a uniform x * y * z grid with the given spacing.
    static std::vector<float> gridPositions(uint32_t x, uint32_t y, uint32_t z, float spacing);
    // One record per node: vector (node, -node, 0.5) and layer l's value from value(l, node).
    static std::string frameBytes(uint32_t nodes, int layers, const std::function<float(int, uint32_t)>& value);

    static void write(const std::string& path, const std::string& bytes);
    static std::string read(const std::string& path);
};

#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

class QImage;

// An RGBA8 picture, top row first: read back from GL or from an image file,
// and sampled by colour.
struct Picture {
    using RGB = std::array<int, 3>;

    std::vector<unsigned char> rgba;
    int width = 0, height = 0;

    // Empty when the file cannot be read.
    static Picture read(const std::string& path);
    static Picture of(const QImage& image);

    RGB at(int x, int y) const;
    std::array<int, 4> pixel(int x, int y) const;
    bool bright(int x, int y) const;
    // Pixels whose colour passes test.
    int count(const std::function<bool(const RGB&)>& test) const;
};

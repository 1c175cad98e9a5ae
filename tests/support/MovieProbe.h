#pragma once

#include <array>
#include <string>
#include <vector>

// What a movie file holds, read back with FFmpeg's libraries: the size of its
// pictures and the colour at the centre of each, in order.
struct MovieProbe {
    bool opened = false;
    int width = 0, height = 0;
    std::vector<std::array<int, 3>> centres; // RGB, one per decoded picture

    static MovieProbe read(const std::string& path);
};

#pragma once

#include <array>
#include <cstdint>
#include <vector>

class GridGeometry;

// The white cell edges of the grid, made when first shown: one buffer of the
// normalised node positions, drawn as a line strip along every row and every
// column of each slice. It needs as much memory as the positions and no
// more, where a list of the cells' quads would take eight times that.
// Needs the GL context; the buffer name is a GLuint.
class WireframeGrid {
public:
    // Forgets the grid shown; the next draw makes the buffer anew.
    void release();
    // Makes the buffer from grid unless made; logs when it cannot be made and
    // then draws nothing until the next release.
    void make(const GridGeometry& grid);
    bool made() const { return tried; }
    void draw() const;

    unsigned int buffer = 0;

private:
    bool tried = false;
    std::array<uint32_t, 3> size{{0, 0, 0}};
    std::vector<int> rowStarts;    // first node of each row of X nodes
    std::vector<int> columnStarts; // first element of each slice's column, in nodes X apart
};

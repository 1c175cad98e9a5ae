#include "render/SliceQuads.h"

#include "render/GridGeometry.h"

#include <GL/glew.h>

#include <array>
#include <vector>

namespace {

void corner(const GridGeometry& grid, uint32_t i, uint32_t j, uint32_t k, const std::array<float, 3>& position)
{
    glTexCoord3f((float(i) + 0.5f) / float(grid.size[0]), (float(j) + 0.5f) / float(grid.size[1]),
                 (float(k) + 0.5f) / float(grid.size[2]));
    glVertex3fv(position.data());
}

} // namespace

void emitSliceCells(const GridGeometry& grid, uint32_t k)
{
    const uint32_t X = grid.size[0], Y = grid.size[1];
    if (X < 2 || Y < 2) {
        return;
    }
    // Two rows of normalised positions at a time: each node is computed once.
    std::vector<std::array<float, 3>> lower(X), upper(X);
    for (uint32_t i = 0; i < X; ++i) {
        upper[i] = grid.node(i, 0, k);
    }
    for (uint32_t j = 0; j + 1 < Y; ++j) {
        lower.swap(upper);
        for (uint32_t i = 0; i < X; ++i) {
            upper[i] = grid.node(i, j + 1, k);
        }
        for (uint32_t i = 0; i + 1 < X; ++i) {
            corner(grid, i, j, k, lower[i]);
            corner(grid, i + 1, j, k, lower[i + 1]);
            corner(grid, i + 1, j + 1, k, upper[i + 1]);
            corner(grid, i, j + 1, k, upper[i]);
        }
    }
}

void emitSliceQuad(const GridGeometry& grid, uint32_t k)
{
    const uint32_t X = grid.size[0], Y = grid.size[1];
    if (X < 2 || Y < 2) {
        return;
    }
    corner(grid, 0, 0, k, grid.node(0, 0, k));
    corner(grid, X - 1, 0, k, grid.node(X - 1, 0, k));
    corner(grid, X - 1, Y - 1, k, grid.node(X - 1, Y - 1, k));
    corner(grid, 0, Y - 1, k, grid.node(0, Y - 1, k));
}

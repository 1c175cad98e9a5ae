#pragma once

#include <cstdint>

class GridGeometry;

// Emit the quads of z-slice k between glBegin(GL_QUADS) and glEnd. Each
// corner gets the texture coordinate of its node's texel centre,
// ((i + 0.5) / X, (j + 0.5) / Y, (k + 0.5) / Z), then its normalised position.
// Corners run (i, j), (i+1, j), (i+1, j+1), (i, j+1).

// Every cell of the slice.
void emitSliceCells(const GridGeometry& grid, uint32_t k);
// One quad from node (0, 0) to node (X-1, Y-1): the same pixels and texture
// coordinates as the cells when the slice is flat and evenly spaced.
void emitSliceQuad(const GridGeometry& grid, uint32_t k);

#pragma once

#include "flowdata/VtkValueType.h"

#include <array>
#include <cstdint>

// Node index ranges x0 x1 y0 y1 z0 z1, both ends included, as VTK files give
// a whole grid's and each piece's nodes.
struct VtkExtent {
    std::array<int64_t, 6> bounds{{0, -1, 0, -1, 0, -1}};

    // Six integers separated by blanks; false when the text holds fewer, a
    // number out of range or anything else.
    static bool parse(const char* text, VtkExtent& extent);

    bool empty() const;
    // Nodes along x, y, z.
    std::array<uint64_t, 3> counts() const;
    uint64_t nodes() const;
    bool inside(const VtkExtent& outer) const;
    // The smallest extent holding both.
    VtkExtent joined(const VtkExtent& other) const;

    // Index of node (i, j, k), given in this extent's indices, among its nodes.
    uint64_t index(int64_t i, int64_t j, int64_t k) const;

    // Converts a piece's values (components per node, in the piece's node
    // order) and puts them at their nodes in whole, which lies around piece.
    static void place(const char* values, VtkValueType type, bool bigEndian, int components, const VtkExtent& piece,
                      const VtkExtent& whole, float* out);
};

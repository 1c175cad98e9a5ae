#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class GridGeometry;

// The cells of curved slices, held in GL buffers and drawn farthest from the
// eye first, so that a slice covering itself (a tube, a shell) shows its far
// wall through a translucent near wall. A slice's order is sorted again only
// when the view has moved since its last draw.
//
// Needs the rendering context for build, draw and release; the destructor
// makes no GL call (the buffers then live until the process ends).
class CurvedSliceCells {
public:
    // Takes the cells of the given slices, replacing what was held. False,
    // with the reason, when there are too many or GL cannot hold them.
    bool build(const GridGeometry& grid, const std::vector<uint32_t>& curved, std::string& problem);
    bool holds(uint32_t k) const { return k < slot.size() && slot[k] >= 0; }
    // Slice k as triangles on texture coordinate set 0, in white. modelView
    // is the data's column-major model-view matrix.
    void draw(uint32_t k, const float modelView[16]);
    void release();

private:
    struct Slice {
        uint32_t firstVertex = 0;
        size_t firstIndex = 0;
        size_t firstCell = 0; // into centres
        size_t cells = 0;
        std::array<float, 16> sortedFor{}; // the view of the current order
        bool sorted = false;
    };

    // False when the index buffer cannot be written; the slice stays unsorted.
    bool sort(Slice& slice, const float modelView[16]);

    std::vector<Slice> slices;
    std::vector<int32_t> slot; // per slice index k: entry in slices, or -1
    std::vector<std::array<float, 3>> centres;
    uint32_t columns = 0; // nodes per row
    unsigned int vertexBuffer = 0, indexBuffer = 0;
};

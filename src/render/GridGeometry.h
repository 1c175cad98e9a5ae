#pragma once

#include <array>
#include <cstdint>
#include <vector>

// The grid's nodes in the normalised box shared by the grid and the glyph
// points: centred on the origin, the longest side spanning -0.5 .. 0.5. The
// box is taken from node 0 and the last node along each axis.
class GridGeometry {
public:
    // positions holds 3 floats per node, x fastest, and must outlive this
    // object; valid() is false when it is shorter than size asks for.
    GridGeometry(const std::vector<float>& positions, const std::array<uint32_t, 3>& size);

    bool valid() const { return ok; }
    // Normalised position of node (i, j, k).
    std::array<float, 3> node(uint32_t i, uint32_t j, uint32_t k) const;
    // Normalised point of a raw position.
    std::array<float, 3> normalise(float x, float y, float z) const;
    // True when the slice's nodes sit at p00 + i*a + j*b: one quad then covers
    // exactly the pixels its cells cover.
    bool sliceIsFlat(uint32_t k) const;
    // Mean normalised position of the slice's nodes, to order slices by
    // their distance from the eye.
    std::array<float, 3> sliceCentre(uint32_t k) const;

    std::array<uint32_t, 3> size;
    std::array<float, 3> extent{{0, 0, 0}};
    std::array<float, 3> centre{{0, 0, 0}};
    float factor = 1.0f; // 1 / longest extent

private:
    const float* raw(uint32_t i, uint32_t j, uint32_t k) const;

    const std::vector<float>& positions;
    bool ok = false;
};

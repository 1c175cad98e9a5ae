#pragma once

#include "flowdata/NetCdfGrid.h"

#include <array>
#include <cstdint>
#include <vector>

// The node positions of a netCDF grid: longitude (or x), latitude (or y) and
// the vertical as x, y, z, from the grid dimensions' coordinate variables
// (a rectilinear grid) or the 2-D and 3-D variables a coordinates attribute
// names (a curvilinear one); a dimension without either counts its index.
// A vertical in other units than the horizontal is scaled so that the box
// is not flat, and drawn downwards when it is positive down.
class NetCdfCoordinates {
public:
    NetCdfCoordinates(const NetCdfFile& file, const NetCdfGrid& grid);

    // x, y, z of every node, 3 * grid.nodes floats.
    void positions(float* out) const;

private:
    // One component's values and, per grid dimension k, j, i, the step
    // through them from one node to the next along it.
    struct Source {
        const NetCdfFile::Variable* variable = nullptr;
        std::vector<float> values{0.0f};
        std::array<uint64_t, 3> strides{{0, 0, 0}};
        float scale = 1.0f;
    };

    void choose(const NetCdfFile& file);
    void read(const NetCdfFile& file, Source& s) const;
    void scaleVertical(const NetCdfFile& file);

    const NetCdfGrid& grid;
    std::array<Source, 3> sources;
};

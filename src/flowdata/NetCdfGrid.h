#pragma once

#include "flowdata/NetCdfFile.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// The grid a netCDF file is opened on: the set of spatial dimensions shared
// by the most data variables (others are logged and left), its frames along
// the time dimension and the time step from the time coordinate's units.
class NetCdfGrid {
public:
    explicit NetCdfGrid(const NetCdfFile& file);

    // Spatial dimensions k, j, i (slowest first); -1 pads a grid of fewer
    // than three, as a dimension of length 1.
    std::array<int, 3> dims{{-1, -1, -1}};
    // Node counts along i, j, k.
    std::array<uint32_t, 3> size{{1, 1, 1}};
    uint64_t nodes = 1;
    int timeDim = -1;
    std::size_t frames = 1;
    float timestep = 0.0f;
    // The data variables on this grid, in file order.
    std::vector<const NetCdfFile::Variable*> variables;
    // Names given by the data variables' coordinates attributes.
    std::vector<std::string> auxiliaryNames;

    // The hyperslab of variable v that holds frame f.
    void slab(const NetCdfFile::Variable& v, std::size_t f, std::size_t* start, std::size_t* count) const;

private:
    void choose(const NetCdfFile& file);
    void checkSizes(const NetCdfFile& file);
    void readTimestep(const NetCdfFile& file);
};

#pragma once

#include "flowdata/FlowReader.h"
#include "flowdata/NetCdfCoordinates.h"
#include "flowdata/NetCdfFile.h"
#include "flowdata/NetCdfGrid.h"
#include "flowdata/PackedVariable.h"

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// A netCDF file (classic, 64-bit offset, CDF-5 or netCDF-4) with the CF
// conventions, through netCDF-C. The grid is the one most variables share;
// its velocity or wind components make the vector (a missing one is 0), every
// other variable on it a layer; each frame is one step of the time dimension,
// read as one hyperslab per variable.
class NetCdfReader : public FlowReader {
public:
    NetCdfReader(const std::string& path, const FlowReaderOptions& options);

    // By the magic bytes of a classic, 64-bit offset, CDF-5 or HDF5 file; the
    // loader falls back on the extensions .nc, .nc4 and .cdf.
    static bool recognises(const std::string& path, const char* head, std::size_t headBytes);

    const FlowLayout& layout() const override { return layout_; }
    void readPositions(float* positions) const override;
    void readFrame(std::size_t f, DataFrame& frame) const override;

private:
    void read(const PackedVariable& v, std::size_t f, float* out, std::vector<double>& scratch) const;

    NetCdfFile file;
    NetCdfGrid grid;
    NetCdfCoordinates coordinates;
    std::array<std::unique_ptr<PackedVariable>, 3> vector;
    std::vector<PackedVariable> layers;
    FlowLayout layout_;
};

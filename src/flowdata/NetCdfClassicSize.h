#pragma once

#include <cstdint>

// The fewest bytes a classic, 64-bit offset or CDF-5 netCDF file needs for
// the header netCDF-C has read from it: the header itself and every value of
// every variable, stored one after the other. netCDF-C reads a file cut short
// as zeros, so this is what tells that it was. Saturates at UINT64_MAX. The
// caller holds NetCdfFile::lock().
namespace NetCdfClassicSize {

uint64_t minimumBytes(int ncid, int format);

} // namespace NetCdfClassicSize

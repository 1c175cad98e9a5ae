#pragma once

#include "flowdata/NetCdfFile.h"

#include <cstddef>
#include <vector>

// Reads one netCDF variable's values as the CF conventions mean them:
// stored * scale_factor + add_offset, NaN where the stored value is a fill
// or missing value or lies outside the valid range. Without a _FillValue the
// type's default fill counts (not for bytes, which use their whole range).
class PackedVariable {
public:
    PackedVariable(const NetCdfFile& file, const NetCdfFile::Variable& variable);

    const NetCdfFile::Variable& variable() const { return *var; }

    // The hyperslab's values values, in C order, into out. scratch is reused
    // between calls on one thread.
    void read(const std::size_t* start, const std::size_t* count, std::size_t values, float* out,
              std::vector<double>& scratch) const;

private:
    bool missing(double stored) const;

    const NetCdfFile* file;
    const NetCdfFile::Variable* var;
    double scale = 1.0;
    double offset = 0.0;
    // Floats stored as they are read straight into the caller's buffer.
    bool direct = false;
    std::vector<double> fills;
    double validMin;
    double validMax;
};

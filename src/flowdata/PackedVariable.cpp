#include "flowdata/PackedVariable.h"

#include <cmath>
#include <limits>

namespace {

// The library's fill for each type, used when a variable declares none.
bool defaultFill(nc_type type, double& fill)
{
    switch (type) {
    case NC_SHORT:
        fill = NC_FILL_SHORT;
        return true;
    case NC_USHORT:
        fill = NC_FILL_USHORT;
        return true;
    case NC_INT:
        fill = NC_FILL_INT;
        return true;
    case NC_UINT:
        fill = NC_FILL_UINT;
        return true;
    case NC_INT64:
        fill = static_cast<double>(NC_FILL_INT64);
        return true;
    case NC_UINT64:
        fill = static_cast<double>(NC_FILL_UINT64);
        return true;
    case NC_FLOAT:
        fill = NC_FILL_FLOAT;
        return true;
    case NC_DOUBLE:
        fill = NC_FILL_DOUBLE;
        return true;
    default:
        return false;
    }
}

} // namespace

PackedVariable::PackedVariable(const NetCdfFile& file, const NetCdfFile::Variable& variable)
    : file(&file), var(&variable), validMin(-std::numeric_limits<double>::infinity()),
      validMax(std::numeric_limits<double>::infinity())
{
    const std::vector<double> scales = file.numbers(variable.id, "scale_factor");
    const std::vector<double> offsets = file.numbers(variable.id, "add_offset");
    if (!scales.empty()) {
        scale = scales[0];
    }
    if (!offsets.empty()) {
        offset = offsets[0];
    }

    fills = file.numbers(variable.id, "_FillValue");
    double fill = 0.0;
    if (fills.empty() && defaultFill(variable.type, fill)) {
        fills.push_back(fill);
    }
    for (double m : file.numbers(variable.id, "missing_value")) {
        fills.push_back(m);
    }

    const std::vector<double> range = file.numbers(variable.id, "valid_range");
    if (range.size() >= 2) {
        validMin = range[0];
        validMax = range[1];
    }
    const std::vector<double> low = file.numbers(variable.id, "valid_min");
    const std::vector<double> high = file.numbers(variable.id, "valid_max");
    if (!low.empty()) {
        validMin = low[0];
    }
    if (!high.empty()) {
        validMax = high[0];
    }

    direct = variable.type == NC_FLOAT && scale == 1.0 && offset == 0.0;
    if (direct) {
        for (double& f : fills) {
            f = static_cast<double>(static_cast<float>(f));
        }
    }
}

bool PackedVariable::missing(double stored) const
{
    if (!(stored >= validMin && stored <= validMax)) {
        return true;
    }
    for (double f : fills) {
        if (stored == f) {
            return true;
        }
    }
    return false;
}

void PackedVariable::read(const std::size_t* start, const std::size_t* count, std::size_t values, float* out,
                          std::vector<double>& scratch) const
{
    const float hole = std::numeric_limits<float>::quiet_NaN();
    if (direct) {
        file->read(*var, start, count, out);
        for (std::size_t i = 0; i < values; ++i) {
            if (missing(out[i])) {
                out[i] = hole;
            }
        }
        return;
    }
    scratch.resize(values);
    file->read(*var, start, count, scratch.data());
    for (std::size_t i = 0; i < values; ++i) {
        out[i] = missing(scratch[i]) ? hole : static_cast<float>(scratch[i] * scale + offset);
    }
}

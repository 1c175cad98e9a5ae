#include "flowdata/NetCdfCoordinates.h"
#include "flowdata/LowerCase.h"

#include "diagnostics/Logger.h"
#include "flowdata/CfAxis.h"
#include "flowdata/PackedVariable.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

namespace {

const char* const source = "NetCdfCoordinates::NetCdfCoordinates()";

CfAxis::Attributes attributes(const NetCdfFile& file, const NetCdfFile::Variable& v)
{
    return {v.name, file.text(v.id, "axis"), file.text(v.id, "units"), file.text(v.id, "standard_name"),
            file.text(v.id, "positive")};
}

// The grid dimension (0 = k, 1 = j, 2 = i) of file dimension d, or -1.
int gridPosition(const NetCdfGrid& grid, int d)
{
    for (int p = 0; p < 3; ++p) {
        if (grid.dims[static_cast<std::size_t>(p)] == d) {
            return p;
        }
    }
    return -1;
}

bool onGrid(const NetCdfGrid& grid, const NetCdfFile::Variable& v)
{
    return !v.dims.empty() && v.type != NC_CHAR && v.type >= NC_BYTE && v.type <= NC_UINT64 &&
           std::all_of(v.dims.begin(), v.dims.end(), [&](int d) { return gridPosition(grid, d) >= 0; });
}

std::pair<float, float> extent(const std::vector<float>& values)
{
    float low = std::numeric_limits<float>::infinity(), high = -low;
    for (float v : values) {
        if (std::isfinite(v)) {
            low = std::min(low, v);
            high = std::max(high, v);
        }
    }
    return {low, high};
}

} // namespace

NetCdfCoordinates::NetCdfCoordinates(const NetCdfFile& file, const NetCdfGrid& grid) : grid(grid)
{
    choose(file);
    for (Source& s : sources) {
        read(file, s);
    }
    scaleVertical(file);
}

void NetCdfCoordinates::choose(const NetCdfFile& file)
{
    // Candidates: the grid dimensions' coordinate variables and the
    // auxiliary coordinates on the grid; per axis the one of most dimensions.
    std::vector<const NetCdfFile::Variable*> candidates;
    for (int d : grid.dims) {
        const NetCdfFile::Variable* v = d < 0 ? nullptr : file.find(file.dimName(d));
        if (v && v->dims.size() == 1 && v->dims[0] == d && onGrid(grid, *v)) {
            candidates.push_back(v);
        }
    }
    for (const std::string& name : grid.auxiliaryNames) {
        const NetCdfFile::Variable* v = file.find(name);
        if (v && onGrid(grid, *v)) {
            candidates.push_back(v);
        }
    }
    for (const NetCdfFile::Variable* v : candidates) {
        const CfAxis::Axis axis = CfAxis::classify(attributes(file, *v));
        const int c = axis == CfAxis::Axis::X ? 0 : axis == CfAxis::Axis::Y ? 1 : axis == CfAxis::Axis::Z ? 2 : -1;
        Source& s = sources[static_cast<std::size_t>(std::max(c, 0))];
        if (c >= 0 && (!s.variable || v->dims.size() > s.variable->dims.size())) {
            s.variable = v;
        }
    }
    // The rest: x along i, y along j, z along k, by the dimension's own
    // coordinate when no other component took it, else by index.
    for (std::size_t c = 0; c < 3; ++c) {
        Source& s = sources[c];
        const int d = grid.dims[2 - c];
        if (s.variable || d < 0) {
            continue;
        }
        const NetCdfFile::Variable* own = file.find(file.dimName(d));
        const bool taken =
            std::any_of(sources.begin(), sources.end(), [&](const Source& o) { return o.variable == own; });
        if (own && !taken && own->dims.size() == 1 && own->dims[0] == d && onGrid(grid, *own)) {
            s.variable = own;
        } else {
            s.strides[2 - c] = 1;
        }
    }
}

void NetCdfCoordinates::read(const NetCdfFile& file, Source& s) const
{
    if (!s.variable) {
        // Counting along the one dimension that has a stride.
        for (std::size_t p = 0; p < 3; ++p) {
            if (s.strides[p] == 1) {
                s.values.resize(grid.size[2 - p]);
                for (std::size_t n = 0; n < s.values.size(); ++n) {
                    s.values[n] = static_cast<float>(n);
                }
            }
        }
        return;
    }
    const NetCdfFile::Variable& v = *s.variable;
    std::vector<std::size_t> start(v.dims.size()), count(v.dims.size());
    grid.slab(v, 0, start.data(), count.data());
    uint64_t stride = 1;
    for (std::size_t q = v.dims.size(); q-- > 0;) {
        s.strides[static_cast<std::size_t>(gridPosition(grid, v.dims[q]))] = stride;
        stride *= count[q];
    }
    file.checkFits(source, v, stride);
    s.values.resize(stride);
    std::vector<double> scratch;
    PackedVariable(file, v).read(start.data(), count.data(), s.values.size(), s.values.data(), scratch);
}

void NetCdfCoordinates::scaleVertical(const NetCdfFile& file)
{
    Source& z = sources[2];
    if (!z.variable) {
        return;
    }
    const CfAxis::Attributes a = attributes(file, *z.variable);
    const float sign = lowerCase(a.positive) == "down" ? -1.0f : 1.0f;

    const auto [zLow, zHigh] = extent(z.values);
    const auto [xLow, xHigh] = extent(sources[0].values);
    const auto [yLow, yHigh] = extent(sources[1].values);
    const float vertical = zHigh - zLow;
    const float horizontal = std::max(xHigh - xLow, yHigh - yLow);
    const bool degrees = sources[0].variable && sources[1].variable &&
                         CfAxis::geographic(attributes(file, *sources[0].variable)) &&
                         CfAxis::geographic(attributes(file, *sources[1].variable));
    float scale = 1.0f;
    // Degrees against metres or pascals, or a layer far thinner than wide:
    // the box is drawn a quarter as deep as it is wide.
    if (std::isfinite(vertical) && std::isfinite(horizontal) && vertical > 0.0f && horizontal > 0.0f &&
        (degrees || vertical * 10.0f < horizontal)) {
        scale = horizontal / (4.0f * vertical);
    }
    z.scale = sign * scale;
    if (scale != 1.0f || sign < 0.0f) {
        std::ostringstream text, details;
        text << "Vertical scale: " << scale;
        details << z.variable->name << " (" << a.units << (sign < 0.0f ? ", positive down" : "") << ") x " << z.scale;
        Tool::log(source, text.str(), details.str());
    }
}

void NetCdfCoordinates::positions(float* out) const
{
    const uint32_t nx = grid.size[0], ny = grid.size[1], nz = grid.size[2];
    float* p = out;
    // + 0 turns the surface of a downward axis into 0, not -0.
    for (uint32_t k = 0; k < nz; ++k) {
        for (uint32_t j = 0; j < ny; ++j) {
            for (uint32_t i = 0; i < nx; ++i) {
                for (const Source& s : sources) {
                    *p++ = s.values[k * s.strides[0] + j * s.strides[1] + i * s.strides[2]] * s.scale + 0.0f;
                }
            }
        }
    }
}

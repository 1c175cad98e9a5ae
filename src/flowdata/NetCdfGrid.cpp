#include "flowdata/NetCdfGrid.h"

#include "diagnostics/Logger.h"
#include "flowdata/CfAxis.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <sstream>

namespace {

const char* const source = "NetCdfGrid::NetCdfGrid()";

bool numeric(nc_type type)
{
    return type != NC_CHAR && type >= NC_BYTE && type <= NC_UINT64;
}

bool isCoordinate(const NetCdfFile& file, const NetCdfFile::Variable& v)
{
    return v.dims.size() == 1 && file.dimName(v.dims[0]) == v.name;
}

CfAxis::Attributes attributes(const NetCdfFile& file, const NetCdfFile::Variable& v)
{
    return {v.name, file.text(v.id, "axis"), file.text(v.id, "units"), file.text(v.id, "standard_name"),
            file.text(v.id, "positive")};
}

// The words of every variable's attribute name (coordinates, bounds).
std::set<std::string> namedBy(const NetCdfFile& file, const char* attribute)
{
    std::set<std::string> names;
    for (const NetCdfFile::Variable& v : file.variables()) {
        std::istringstream words(file.text(v.id, attribute));
        for (std::string word; words >> word;) {
            names.insert(word);
        }
    }
    return names;
}

// The unlimited dimension, else the one whose coordinate is a time.
int findTimeDim(const NetCdfFile& file)
{
    if (file.unlimitedDim() >= 0) {
        return file.unlimitedDim();
    }
    for (const NetCdfFile::Variable& v : file.variables()) {
        if (isCoordinate(file, v) && CfAxis::classify(attributes(file, v)) == CfAxis::Axis::T) {
            return v.dims[0];
        }
    }
    return -1;
}

std::string describe(const NetCdfFile& file, const std::vector<int>& dims)
{
    std::string text;
    for (int d : dims) {
        text += (text.empty() ? "" : " x ") + file.dimName(d);
    }
    return text;
}

} // namespace

NetCdfGrid::NetCdfGrid(const NetCdfFile& file)
{
    choose(file);
    checkSizes(file);
    readTimestep(file);
}

void NetCdfGrid::choose(const NetCdfFile& file)
{
    const std::set<std::string> auxiliary = namedBy(file, "coordinates");
    const std::set<std::string> bounds = namedBy(file, "bounds");
    timeDim = findTimeDim(file);

    // Data variables by their spatial dimensions, in the variables' order.
    std::map<std::vector<int>, std::vector<const NetCdfFile::Variable*>> grids;
    std::vector<std::vector<int>> order;
    for (const NetCdfFile::Variable& v : file.variables()) {
        if (!numeric(v.type) || isCoordinate(file, v) || auxiliary.count(v.name) || bounds.count(v.name)) {
            continue;
        }
        std::vector<int> spatial;
        for (int d : v.dims) {
            if (d != timeDim) {
                spatial.push_back(d);
            }
        }
        const std::set<int> distinct(spatial.begin(), spatial.end());
        if (spatial.empty() || spatial.size() > 3 || distinct.size() != spatial.size()) {
            continue;
        }
        if (!grids.count(spatial)) {
            order.push_back(spatial);
        }
        grids[spatial].push_back(&v);
    }
    if (order.empty()) {
        file.fail(source, "holds no variable on one to three spatial dimensions");
    }

    const std::vector<int>* best = &order[0];
    for (const std::vector<int>& g : order) {
        if (grids[g].size() > grids[*best].size()) {
            best = &g;
        }
    }
    for (const std::vector<int>& g : order) {
        if (&g == best) {
            continue;
        }
        std::string names;
        for (const NetCdfFile::Variable* v : grids[g]) {
            names += (names.empty() ? "" : ", ") + v->name;
        }
        Tool::log(source, "Skipping grid " + describe(file, g) + " (" + names + ")",
                  "Opening grid " + describe(file, *best) + " with the most variables");
    }
    variables = grids[*best];
    std::copy(best->begin(), best->end(), dims.begin() + static_cast<std::ptrdiff_t>(3 - best->size()));
    for (const NetCdfFile::Variable& v : file.variables()) {
        if (auxiliary.count(v.name)) {
            auxiliaryNames.push_back(v.name);
        }
    }
}

void NetCdfGrid::checkSizes(const NetCdfFile& file)
{
    for (int axis = 0; axis < 3; ++axis) {
        const int d = dims[static_cast<std::size_t>(2 - axis)];
        if (d < 0) {
            continue;
        }
        const std::size_t length = file.dimLength(d);
        if (length == 0) {
            file.fail(source, "has an empty dimension " + file.dimName(d));
        }
        if (length > std::numeric_limits<uint32_t>::max() || nodes * length > std::numeric_limits<uint32_t>::max()) {
            file.fail(source, "has a grid of more than 2^32 nodes");
        }
        size[static_cast<std::size_t>(axis)] = static_cast<uint32_t>(length);
        nodes *= length;
    }
    const bool timed = std::any_of(variables.begin(), variables.end(), [&](const NetCdfFile::Variable* v) {
        return std::find(v->dims.begin(), v->dims.end(), timeDim) != v->dims.end();
    });
    if (timed) {
        frames = file.dimLength(timeDim);
        if (frames == 0) {
            file.fail(source, "holds no time steps along " + file.dimName(timeDim));
        }
    } else {
        timeDim = -1;
    }
    for (const NetCdfFile::Variable* v : variables) {
        file.checkFits(source, *v, nodes * frames);
    }
}

void NetCdfGrid::readTimestep(const NetCdfFile& file)
{
    const NetCdfFile::Variable* time = timeDim < 0 ? nullptr : file.find(file.dimName(timeDim));
    if (frames < 2 || time == nullptr || !isCoordinate(file, *time) || !numeric(time->type)) {
        return;
    }
    file.checkFits(source, *time, frames);
    std::vector<double> times(frames);
    const std::size_t start = 0;
    file.read(*time, &start, &frames, times.data());

    const std::string units = file.text(time->id, "units");
    double seconds = CfAxis::secondsPerUnit(units);
    if (seconds == 0.0) {
        Tool::log(source, "Time units of " + time->name + " not understood, taken as seconds", units);
        seconds = 1.0;
    }
    double low = std::numeric_limits<double>::infinity(), high = -low;
    for (std::size_t f = 1; f < frames; ++f) {
        low = std::min(low, times[f] - times[f - 1]);
        high = std::max(high, times[f] - times[f - 1]);
    }
    const double mean = (times[frames - 1] - times[0]) / static_cast<double>(frames - 1) * seconds;
    if (!std::isfinite(mean)) {
        file.fail(source, "gives times that are not finite in " + time->name);
    }
    if ((high - low) * seconds > 1e-6 * std::abs(mean)) {
        std::ostringstream steps;
        steps << "Steps from " << low * seconds << " to " << high * seconds << " s, mean " << mean << " s";
        Tool::log(source, "Time steps of " + time->name + " not equal, using their mean", steps.str());
    }
    timestep = static_cast<float>(mean);
}

void NetCdfGrid::slab(const NetCdfFile::Variable& v, std::size_t f, std::size_t* start, std::size_t* count) const
{
    for (std::size_t q = 0; q < v.dims.size(); ++q) {
        const int d = v.dims[q];
        start[q] = d == timeDim ? f : 0;
        count[q] = 1;
        for (std::size_t p = 0; p < 3; ++p) {
            if (dims[p] == d) {
                count[q] = size[2 - p];
            }
        }
    }
}

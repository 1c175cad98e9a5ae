#include "flowdata/NetCdfClassicSize.h"

#include <netcdf.h>

#include <cstring>
#include <limits>
#include <vector>

namespace NetCdfClassicSize {

namespace {

constexpr uint64_t saturated = std::numeric_limits<uint64_t>::max();

uint64_t add(uint64_t a, uint64_t b)
{
    return a > saturated - b ? saturated : a + b;
}

uint64_t multiply(uint64_t a, uint64_t b)
{
    return b != 0 && a > saturated / b ? saturated : a * b;
}

uint64_t padded(uint64_t bytes)
{
    return add(bytes, 3) / 4 * 4;
}

uint64_t typeBytes(int ncid, nc_type type)
{
    std::size_t size = 0;
    return nc_inq_type(ncid, type, nullptr, &size) == NC_NOERR ? size : 1;
}

// The sizes of the header's counts, lengths and offsets in this format.
struct Widths {
    uint64_t count;
    uint64_t begin;
};

uint64_t nameBytes(const Widths& w, const char* name)
{
    return w.count + padded(std::strlen(name));
}

// A list: its tag and element count, then the elements.
uint64_t attributesBytes(int ncid, int var, const Widths& w)
{
    int count = 0;
    if ((var == NC_GLOBAL ? nc_inq_natts(ncid, &count) : nc_inq_varnatts(ncid, var, &count)) != NC_NOERR) {
        return saturated;
    }
    uint64_t bytes = 4 + w.count;
    for (int a = 0; a < count; ++a) {
        char name[NC_MAX_NAME + 1] = {};
        nc_type type = NC_NAT;
        std::size_t length = 0;
        if (nc_inq_attname(ncid, var, a, name) != NC_NOERR || nc_inq_att(ncid, var, name, &type, &length) != NC_NOERR) {
            return saturated;
        }
        bytes = add(bytes, nameBytes(w, name) + 4 + w.count);
        bytes = add(bytes, padded(multiply(length, typeBytes(ncid, type))));
    }
    return bytes;
}

} // namespace

uint64_t minimumBytes(int ncid, int format)
{
    const Widths w =
        format == NC_FORMAT_CDF5 ? Widths{8, 8} : Widths{4, format == NC_FORMAT_64BIT_OFFSET ? uint64_t{8} : 4};
    int dims = 0, vars = 0;
    if (nc_inq(ncid, &dims, &vars, nullptr, nullptr) != NC_NOERR) {
        return saturated;
    }
    // Magic and record count, then the dimensions.
    uint64_t bytes = 4 + w.count + 4 + w.count;
    std::vector<std::size_t> lengths(static_cast<std::size_t>(dims));
    for (int d = 0; d < dims; ++d) {
        char name[NC_MAX_NAME + 1] = {};
        if (nc_inq_dim(ncid, d, name, &lengths[static_cast<std::size_t>(d)]) != NC_NOERR) {
            return saturated;
        }
        bytes = add(bytes, nameBytes(w, name) + w.count);
    }
    bytes = add(bytes, attributesBytes(ncid, NC_GLOBAL, w) + 4 + w.count);
    for (int v = 0; v < vars; ++v) {
        char name[NC_MAX_NAME + 1] = {};
        nc_type type = NC_NAT;
        int rank = 0;
        if (nc_inq_var(ncid, v, name, &type, &rank, nullptr, nullptr) != NC_NOERR || rank < 0 ||
            rank > NC_MAX_VAR_DIMS) {
            return saturated;
        }
        std::vector<int> ids(static_cast<std::size_t>(rank));
        if (nc_inq_vardimid(ncid, v, ids.data()) != NC_NOERR) {
            return saturated;
        }
        uint64_t values = 1;
        for (int id : ids) {
            values = multiply(values, id >= 0 && id < dims ? lengths[static_cast<std::size_t>(id)] : saturated);
        }
        bytes = add(bytes, nameBytes(w, name) + w.count + static_cast<uint64_t>(rank) * w.count);
        bytes = add(bytes, attributesBytes(ncid, v, w) + 4 + w.count + w.begin);
        bytes = add(bytes, multiply(values, typeBytes(ncid, type)));
    }
    return bytes;
}

} // namespace NetCdfClassicSize

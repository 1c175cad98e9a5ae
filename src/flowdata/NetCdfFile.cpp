#include "flowdata/NetCdfFile.h"

#include "diagnostics/Exception.h"
#include "flowdata/NetCdfClassicSize.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace {

// deflate never shrinks data by more than about 1032:1, so a compressed file
// of n bytes holds at most that many times n bytes of values.
constexpr uint64_t deflateRatio = 1032;

std::size_t typeSize(nc_type type)
{
    switch (type) {
    case NC_BYTE:
    case NC_UBYTE:
    case NC_CHAR:
        return 1;
    case NC_SHORT:
    case NC_USHORT:
        return 2;
    case NC_INT:
    case NC_UINT:
    case NC_FLOAT:
        return 4;
    default:
        return 8;
    }
}

} // namespace

std::mutex& NetCdfFile::lock()
{
    static std::mutex library;
    return library;
}

namespace {
const char* const openSource = "NetCdfFile::NetCdfFile()";
const char* const attributeSource = "NetCdfFile::attribute()";
const char* const readSource = "NetCdfFile::read()";
} // namespace

NetCdfFile::NetCdfFile(const std::string& path) : path_(path)
{
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        fail(openSource, std::string("cannot be opened: ") + std::strerror(errno));
    }
    fileBytes = static_cast<uint64_t>(status.st_size);

    std::lock_guard<std::mutex> guard(lock());
    int id = -1;
    check(openSource, nc_open(path.c_str(), NC_NOWRITE, &id), "cannot be opened");
    ncid = id;
    try {
        readHeader();
    } catch (...) {
        nc_close(ncid);
        throw;
    }
}

void NetCdfFile::readHeader()
{
    int format = 0;
    check(openSource, nc_inq_format(ncid, &format), "has no format");
    compressed = format == NC_FORMAT_NETCDF4 || format == NC_FORMAT_NETCDF4_CLASSIC;

    int dimCount = 0, varCount = 0;
    check(openSource, nc_inq(ncid, &dimCount, &varCount, nullptr, &unlimited), "has no readable header");
    // Dimension ids of netCDF-4 files need not run from 0; classic ones do,
    // and groups are not read.
    std::vector<int> dimIds(static_cast<std::size_t>(dimCount));
    check(openSource, nc_inq_dimids(ncid, &dimCount, dimIds.data(), 0), "has no readable dimensions");
    for (int d = 0; d < dimCount; ++d) {
        if (dimIds[static_cast<std::size_t>(d)] != d) {
            fail(openSource, "numbers its dimensions out of order");
        }
        char name[NC_MAX_NAME + 1] = {};
        std::size_t length = 0;
        check(openSource, nc_inq_dim(ncid, d, name, &length), "has an unreadable dimension");
        dimNames.emplace_back(name);
        dimLengths.push_back(length);
    }
    for (int v = 0; v < varCount; ++v) {
        Variable variable;
        variable.id = v;
        char name[NC_MAX_NAME + 1] = {};
        int rank = 0;
        check(openSource, nc_inq_var(ncid, v, name, &variable.type, &rank, nullptr, nullptr),
              "has an unreadable variable");
        variable.name = name;
        variable.dims.resize(static_cast<std::size_t>(rank));
        check(openSource, nc_inq_vardimid(ncid, v, variable.dims.data()),
              "has an unreadable variable " + variable.name);
        for (int dim : variable.dims) {
            if (dim < 0 || dim >= dimCount) {
                fail(openSource, "gives variable " + variable.name + " an unknown dimension");
            }
        }
        variables_.push_back(std::move(variable));
    }
    if (!compressed) {
        checkClassicSize(format);
    }
}

void NetCdfFile::checkClassicSize(int format) const
{
    const uint64_t needed = NetCdfClassicSize::minimumBytes(ncid, format);
    if (needed > fileBytes) {
        fail(openSource, "is cut short or its header is wrong: it needs at least " +
                             (needed == UINT64_MAX ? std::string("2^64") : std::to_string(needed)) + " bytes, it has " +
                             std::to_string(fileBytes));
    }
}

NetCdfFile::~NetCdfFile()
{
    if (ncid < 0) {
        return;
    }
    std::lock_guard<std::mutex> guard(lock());
    nc_close(ncid);
}

const NetCdfFile::Variable* NetCdfFile::find(const std::string& name) const
{
    for (const Variable& v : variables_) {
        if (v.name == name) {
            return &v;
        }
    }
    return nullptr;
}

std::string NetCdfFile::text(int var, const char* name) const
{
    std::lock_guard<std::mutex> guard(lock());
    nc_type type = NC_NAT;
    std::size_t length = 0;
    if (nc_inq_att(ncid, var, name, &type, &length) != NC_NOERR || type != NC_CHAR) {
        return {};
    }
    if (length > fileBytes) {
        fail(attributeSource, "has an attribute " + std::string(name) + " longer than the file");
    }
    std::string value(length, '\0');
    check(attributeSource, nc_get_att_text(ncid, var, name, &value[0]),
          "has an unreadable attribute " + std::string(name));
    // Writers often count a terminating zero byte in the length.
    value.resize(value.find('\0') == std::string::npos ? value.size() : value.find('\0'));
    return value;
}

std::vector<double> NetCdfFile::numbers(int var, const char* name) const
{
    std::lock_guard<std::mutex> guard(lock());
    nc_type type = NC_NAT;
    std::size_t length = 0;
    if (nc_inq_att(ncid, var, name, &type, &length) != NC_NOERR || type == NC_CHAR || type == NC_STRING ||
        type > NC_UINT64) {
        return {};
    }
    if (length > fileBytes) {
        fail(attributeSource, "has an attribute " + std::string(name) + " longer than the file");
    }
    std::vector<double> values(length);
    check(attributeSource, nc_get_att_double(ncid, var, name, values.data()),
          "has an unreadable attribute " + std::string(name));
    return values;
}

void NetCdfFile::checkFits(const char* source, const Variable& variable, uint64_t values) const
{
    const uint64_t limit = compressed ? fileBytes * deflateRatio : fileBytes;
    if (values > limit / typeSize(variable.type)) {
        fail(source, "declares more values of " + variable.name + " (" + std::to_string(values) + ") than its " +
                         std::to_string(fileBytes) + " bytes can hold");
    }
}

void NetCdfFile::check(const char* source, int status, const std::string& what) const
{
    if (status != NC_NOERR) {
        TOOL_THROW(source, path_ + " " + what + ": " + nc_strerror(status));
    }
}

void NetCdfFile::fail(const char* source, const std::string& what) const
{
    TOOL_THROW(source, path_ + " " + what);
}

void NetCdfFile::read(const Variable& v, const std::size_t* start, const std::size_t* count, double* out) const
{
    std::lock_guard<std::mutex> guard(lock());
    check(readSource, nc_get_vara_double(ncid, v.id, start, count, out), "cannot read " + v.name);
}

void NetCdfFile::read(const Variable& v, const std::size_t* start, const std::size_t* count, float* out) const
{
    std::lock_guard<std::mutex> guard(lock());
    check(readSource, nc_get_vara_float(ncid, v.id, start, count, out), "cannot read " + v.name);
}

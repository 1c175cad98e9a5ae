#pragma once

#include <netcdf.h>

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// One open netCDF file. netCDF-C keeps global state and is not thread-safe,
// so every call into it, in the whole process, holds lock().
//
// Every failure throws Tool::Exception naming the file and, when the library
// refused, giving its own text.
class NetCdfFile {
public:
    // One variable as the header declares it.
    struct Variable {
        int id = -1;
        std::string name;
        nc_type type = NC_NAT;
        std::vector<int> dims; // slowest first
    };

    explicit NetCdfFile(const std::string& path);
    NetCdfFile(const NetCdfFile&) = delete;
    NetCdfFile& operator=(const NetCdfFile&) = delete;
    ~NetCdfFile();

    static std::mutex& lock();

    const std::string& path() const { return path_; }
    const std::vector<Variable>& variables() const { return variables_; }
    const Variable* find(const std::string& name) const;
    const std::string& dimName(int dim) const { return dimNames[static_cast<std::size_t>(dim)]; }
    std::size_t dimLength(int dim) const { return dimLengths[static_cast<std::size_t>(dim)]; }
    int unlimitedDim() const { return unlimited; }

    // The attribute's text; empty when it is missing or not text.
    std::string text(int var, const char* name) const;
    // The attribute's numbers; empty when it is missing or not numeric.
    std::vector<double> numbers(int var, const char* name) const;

    // Fails unless values of the variable fit the bytes a file of this size
    // can hold (compressed files: at the most deflate's ratio); checked
    // before anything is allocated for them.
    void checkFits(const char* source, const Variable& variable, uint64_t values) const;

    // Throws when status is an error, with the library's text.
    void check(const char* source, int status, const std::string& what) const;
    [[noreturn]] void fail(const char* source, const std::string& what) const;

    // Reads a hyperslab, converted to doubles or floats; the caller holds no lock.
    void read(const Variable& v, const std::size_t* start, const std::size_t* count, double* out) const;
    void read(const Variable& v, const std::size_t* start, const std::size_t* count, float* out) const;

private:
    void readHeader();
    void checkClassicSize(int format) const;

    std::string path_;
    int ncid = -1;
    int unlimited = -1;
    bool compressed = false;
    uint64_t fileBytes = 0;
    std::vector<std::string> dimNames;
    std::vector<std::size_t> dimLengths;
    std::vector<Variable> variables_;
};

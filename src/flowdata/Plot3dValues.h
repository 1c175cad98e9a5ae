#pragma once

#include "flowdata/Plot3dAsciiTokens.h"
#include "flowdata/Plot3dStructure.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class BinaryFile;

// Reads the values of a PLOT3D file one after another from a given place,
// in the file's byte order and precision, with pread: several readers may
// share one file on several threads.
class Plot3dValues {
public:
    Plot3dValues(const BinaryFile& file, const std::string& path, const Plot3dVariant& variant, uint64_t start);

    void reals(float* out, std::size_t count);
    double real();
    void integers(int32_t* out, std::size_t count);

    // A 4-byte integer as stored in the given byte order.
    static int32_t integer(const void* bytes, bool bigEndian);

private:
    template <typename Convert> void binary(std::size_t count, std::size_t width, Convert convert);
    double text();

    const BinaryFile& file;
    const std::string& path;
    const Plot3dVariant variant;
    uint64_t position;
    std::unique_ptr<Plot3dAsciiTokens> tokens;
    std::vector<unsigned char> buffer;
};

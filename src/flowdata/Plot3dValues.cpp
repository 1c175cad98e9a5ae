#include "flowdata/Plot3dValues.h"

#include "diagnostics/Exception.h"
#include "flowdata/BinaryFile.h"

#include <algorithm>
#include <cstring>

namespace {
const char* const source = "Plot3dReader::read()";
constexpr std::size_t chunk = std::size_t(1) << 18;

template <typename T> T load(const unsigned char* bytes, bool bigEndian)
{
    unsigned char ordered[sizeof(T)];
    std::memcpy(ordered, bytes, sizeof(T));
    if (bigEndian) {
        std::reverse(ordered, ordered + sizeof(T));
    }
    T value;
    std::memcpy(&value, ordered, sizeof(T));
    return value;
}
} // namespace

Plot3dValues::Plot3dValues(const BinaryFile& file, const std::string& path, const Plot3dVariant& variant,
                           uint64_t start)
    : file(file), path(path), variant(variant), position(start)
{
    if (variant.encoding == Plot3dEncoding::Ascii) {
        tokens = std::make_unique<Plot3dAsciiTokens>(file, path);
        if (!tokens->skip(start)) {
            TOOL_THROW(source, path + " ends before its values");
        }
    }
}

int32_t Plot3dValues::integer(const void* bytes, bool bigEndian)
{
    return load<int32_t>(static_cast<const unsigned char*>(bytes), bigEndian);
}

template <typename Convert> void Plot3dValues::binary(std::size_t count, std::size_t width, Convert convert)
{
    buffer.resize(chunk);
    const std::size_t perChunk = chunk / width;
    for (std::size_t done = 0; done < count;) {
        const std::size_t n = std::min(perChunk, count - done);
        if (file.readAt(buffer.data(), n * width, position) != n * width) {
            TOOL_THROW(source, path + " is cut short at byte " + std::to_string(position));
        }
        convert(buffer.data(), done, n);
        position += n * width;
        done += n;
    }
}

double Plot3dValues::text()
{
    double value = 0.0;
    if (!tokens->next(value)) {
        TOOL_THROW(source, path + " ends before its values");
    }
    return value;
}

void Plot3dValues::reals(float* out, std::size_t count)
{
    if (tokens) {
        for (std::size_t i = 0; i < count; ++i) {
            out[i] = static_cast<float>(text());
        }
        return;
    }
    const bool big = variant.bigEndian;
    if (variant.realBytes == 8) {
        binary(count, 8, [&](const unsigned char* bytes, std::size_t at, std::size_t n) {
            for (std::size_t i = 0; i < n; ++i) {
                out[at + i] = static_cast<float>(load<double>(bytes + 8 * i, big));
            }
        });
    } else {
        binary(count, 4, [&](const unsigned char* bytes, std::size_t at, std::size_t n) {
            for (std::size_t i = 0; i < n; ++i) {
                out[at + i] = load<float>(bytes + 4 * i, big);
            }
        });
    }
}

double Plot3dValues::real()
{
    if (tokens) {
        return text();
    }
    double value = 0.0;
    const bool big = variant.bigEndian;
    const std::size_t width = std::size_t(variant.realBytes);
    binary(1, width, [&](const unsigned char* bytes, std::size_t, std::size_t) {
        value = width == 8 ? load<double>(bytes, big) : load<float>(bytes, big);
    });
    return value;
}

void Plot3dValues::integers(int32_t* out, std::size_t count)
{
    if (tokens) {
        for (std::size_t i = 0; i < count; ++i) {
            out[i] = static_cast<int32_t>(std::clamp(text(), -2147483648.0, 2147483647.0));
        }
        return;
    }
    const bool big = variant.bigEndian;
    binary(count, 4, [&](const unsigned char* bytes, std::size_t at, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            out[at + i] = load<int32_t>(bytes + 4 * i, big);
        }
    });
}

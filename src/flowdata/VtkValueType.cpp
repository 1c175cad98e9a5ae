#include "flowdata/VtkValueType.h"

#include <cstdint>
#include <cstring>
#include <utility>

namespace {

template <typename T> T loadValue(const char* bytes, bool swap)
{
    unsigned char raw[sizeof(T)];
    std::memcpy(raw, bytes, sizeof(T));
    if (swap) {
        for (std::size_t i = 0; i < sizeof(T) / 2; ++i) {
            std::swap(raw[i], raw[sizeof(T) - 1 - i]);
        }
    }
    T value;
    std::memcpy(&value, raw, sizeof(T));
    return value;
}

template <typename T> void convert(const char* bytes, std::size_t count, bool swap, float* out)
{
    if (!swap) {
        for (std::size_t i = 0; i < count; ++i) {
            T value;
            std::memcpy(&value, bytes + i * sizeof(T), sizeof(T));
            out[i] = static_cast<float>(value);
        }
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = static_cast<float>(loadValue<T>(bytes + i * sizeof(T), true));
    }
}

constexpr bool hostIsBigEndian()
{
    return __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;
}

struct Named {
    const char* name;
    VtkValueType type;
};

template <std::size_t N> bool lookUp(const Named (&names)[N], const std::string& name, VtkValueType& type)
{
    for (const Named& n : names) {
        if (name == n.name) {
            type = n.type;
            return true;
        }
    }
    return false;
}

} // namespace

namespace VtkValues {

std::size_t size(VtkValueType type)
{
    switch (type) {
    case VtkValueType::Int8:
    case VtkValueType::UInt8:
        return 1;
    case VtkValueType::Int16:
    case VtkValueType::UInt16:
        return 2;
    case VtkValueType::Int32:
    case VtkValueType::UInt32:
    case VtkValueType::Float32:
        return 4;
    case VtkValueType::Int64:
    case VtkValueType::UInt64:
    case VtkValueType::Float64:
        return 8;
    }
    return 1;
}

bool fromXmlName(const std::string& name, VtkValueType& type)
{
    static const Named names[] = {
        {"Int8", VtkValueType::Int8},       {"UInt8", VtkValueType::UInt8},   {"Int16", VtkValueType::Int16},
        {"UInt16", VtkValueType::UInt16},   {"Int32", VtkValueType::Int32},   {"UInt32", VtkValueType::UInt32},
        {"Int64", VtkValueType::Int64},     {"UInt64", VtkValueType::UInt64}, {"Float32", VtkValueType::Float32},
        {"Float64", VtkValueType::Float64}, {"Char", VtkValueType::Int8},
    };
    return lookUp(names, name, type);
}

bool fromLegacyName(const std::string& name, VtkValueType& type)
{
    // "long" is written with the writer's own long, 8 bytes on the systems that write these files.
    static const Named names[] = {
        {"char", VtkValueType::Int8},          {"unsigned_char", VtkValueType::UInt8},
        {"short", VtkValueType::Int16},        {"unsigned_short", VtkValueType::UInt16},
        {"int", VtkValueType::Int32},          {"unsigned_int", VtkValueType::UInt32},
        {"long", VtkValueType::Int64},         {"unsigned_long", VtkValueType::UInt64},
        {"vtktypeint64", VtkValueType::Int64}, {"vtktypeuint64", VtkValueType::UInt64},
        {"float", VtkValueType::Float32},      {"double", VtkValueType::Float64},
        {"vtkidtype", VtkValueType::Int64},
    };
    return lookUp(names, name, type);
}

void toFloats(const char* bytes, std::size_t count, VtkValueType type, bool bigEndian, float* out)
{
    const bool swap = bigEndian != hostIsBigEndian();
    switch (type) {
    case VtkValueType::Int8:
        return convert<int8_t>(bytes, count, swap, out);
    case VtkValueType::UInt8:
        return convert<uint8_t>(bytes, count, swap, out);
    case VtkValueType::Int16:
        return convert<int16_t>(bytes, count, swap, out);
    case VtkValueType::UInt16:
        return convert<uint16_t>(bytes, count, swap, out);
    case VtkValueType::Int32:
        return convert<int32_t>(bytes, count, swap, out);
    case VtkValueType::UInt32:
        return convert<uint32_t>(bytes, count, swap, out);
    case VtkValueType::Int64:
        return convert<int64_t>(bytes, count, swap, out);
    case VtkValueType::UInt64:
        return convert<uint64_t>(bytes, count, swap, out);
    case VtkValueType::Float32:
        return convert<float>(bytes, count, swap, out);
    case VtkValueType::Float64:
        return convert<double>(bytes, count, swap, out);
    }
}

} // namespace VtkValues

#pragma once

#include <cstddef>
#include <string>

// The number types a VTK file stores its arrays in, and their conversion to
// the floats we keep.
enum class VtkValueType { Int8, UInt8, Int16, UInt16, Int32, UInt32, Int64, UInt64, Float32, Float64 };

namespace VtkValues {

// Bytes per value.
std::size_t size(VtkValueType type);

// An XML file's type attribute ("Float32", "UInt8", ...); false when unknown.
bool fromXmlName(const std::string& name, VtkValueType& type);
// A legacy file's type word ("float", "unsigned_char", ...); false when unknown.
bool fromLegacyName(const std::string& name, VtkValueType& type);

// Converts count values stored at bytes (any alignment) to floats.
// bigEndian tells the byte order they were written in.
void toFloats(const char* bytes, std::size_t count, VtkValueType type, bool bigEndian, float* out);

} // namespace VtkValues

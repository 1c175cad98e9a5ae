#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A file name with at most one printf-style integer field, such as
// "out_%04d.png", filled with a frame number. Only flags, a width and the
// conversion d, i or u are taken; "%%" is a plain '%'. The width must leave
// the name's folder entry within what a file name may hold.
class FileNamePattern {
public:
    // False, with the reason in error, for any other use of '%'.
    bool parse(const std::string& pattern, std::string& error);
    bool hasField() const { return field; }
    // The name for a frame; the pattern as given, "%%" unfolded, when it has
    // no field.
    std::string name(uint32_t frame) const;

private:
    std::string prefix, conversion, suffix; // conversion: a checked "%...lld"
    size_t width = 0;
    bool field = false;
};

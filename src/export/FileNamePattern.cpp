#include "export/FileNamePattern.h"

#include <cstdio>
#include <cstring>

namespace {
// Widths beyond this only make names longer than any file system takes.
constexpr size_t widestField = 3; // digits of the width
} // namespace

bool FileNamePattern::parse(const std::string& pattern, std::string& error)
{
    *this = FileNamePattern();
    std::string* text = &prefix;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            *text += pattern[i];
            continue;
        }
        if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
            *text += '%';
            ++i;
            continue;
        }
        size_t end = i + 1;
        while (end < pattern.size() && std::strchr("0-+ ", pattern[end])) {
            ++end;
        }
        const size_t digits = end;
        while (end < pattern.size() && pattern[end] >= '0' && pattern[end] <= '9') {
            ++end;
        }
        if (end >= pattern.size() || !std::strchr("diu", pattern[end]) || end - digits > widestField) {
            error = "\"" + pattern + "\" holds a '%' that is not an integer field such as %04d (write %% for a '%')";
            return false;
        }
        if (field) {
            error = "\"" + pattern + "\" holds more than one integer field";
            return false;
        }
        field = true;
        conversion = pattern.substr(i, end - i) + "lld";
        text = &suffix;
        i = end;
    }
    return true;
}

std::string FileNamePattern::name(uint32_t frame) const
{
    if (!field) {
        return prefix;
    }
    char number[64];
    // conversion is a checked integer field with at most three width digits.
    std::snprintf(number, sizeof number, conversion.c_str(), static_cast<long long>(frame));
    return prefix + number + suffix;
}

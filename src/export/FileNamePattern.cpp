#include "export/FileNamePattern.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
// The longest name a folder entry may have on the file systems in use.
constexpr size_t longestEntry = NAME_MAX;

// The length of the folder entry that holds position at of name.
size_t entryLength(const std::string& name, size_t at)
{
    const size_t slash = at ? name.rfind('/', at - 1) : std::string::npos;
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    const size_t end = name.find('/', at);
    return (end == std::string::npos ? name.size() : end) - start;
}
} // namespace

bool FileNamePattern::parse(const std::string& pattern, std::string& error)
{
    *this = FileNamePattern();
    std::string* text = &prefix;
    size_t fieldAt = 0;
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
        if (end >= pattern.size() || !std::strchr("diu", pattern[end])) {
            error = "\"" + pattern + "\" holds a '%' that is not an integer field such as %04d (write %% for a '%')";
            return false;
        }
        if (field) {
            error = "\"" + pattern + "\" holds more than one integer field";
            return false;
        }
        // Four digits of width are already more than a folder entry holds.
        width = end - digits > 3 ? longestEntry + 1
                                 : std::strtoul(pattern.substr(digits, end - digits).c_str(), nullptr, 10);
        field = true;
        conversion = pattern.substr(i, end - i) + "lld";
        text = &suffix;
        fieldAt = i;
        i = end;
    }
    if (field) {
        // The field's own characters give way to at least its width.
        const size_t fieldLength = conversion.size() - 2;
        const size_t entry = entryLength(pattern, fieldAt) - fieldLength + std::max<size_t>(width, 1);
        if (entry > longestEntry) {
            error = "\"" + pattern + "\" makes names of " + std::to_string(entry) +
                    " bytes; a file name holds at most " + std::to_string(longestEntry);
            *this = FileNamePattern();
            return false;
        }
    }
    return true;
}

std::string FileNamePattern::name(uint32_t frame) const
{
    if (!field) {
        return prefix;
    }
    // conversion is a checked integer field; its width says how long it gets.
    std::string number(std::max<size_t>(width, 20) + 1, '\0');
    const int length = std::snprintf(number.data(), number.size(), conversion.c_str(), static_cast<long long>(frame));
    number.resize(length > 0 ? size_t(length) : 0);
    return prefix + number + suffix;
}

#include "flowdata/GridHeader.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One number of the header, read without the C locale: a Qt application
// switches the process locale, which would change the decimal point.
class Cursor {
public:
    Cursor(const char* begin, const char* end) : at(begin), end(end) {}

    bool literal(const char* text)
    {
        const std::size_t length = std::strlen(text);
        if (static_cast<std::size_t>(end - at) < length || std::memcmp(at, text, length) != 0) {
            return false;
        }
        at += length;
        return true;
    }

    template <typename T> bool number(T& value)
    {
        while (at != end && isBlank(*at)) {
            ++at;
        }
        // A leading '+' is accepted as the C scanner does; from_chars refuses it.
        const char* start = at;
        if (start != end && *start == '+' && start + 1 != end && *(start + 1) != '-') {
            ++start;
        }
        T parsed{};
        const std::from_chars_result result = std::from_chars(start, end, parsed);
        if (result.ec != std::errc()) {
            return false;
        }
        value = parsed;
        at = result.ptr;
        return true;
    }

private:
    const char* at;
    const char* end;
};

} // namespace

int GridHeader::parse(const char* text, std::size_t length)
{
    length = std::min(length, byteCount);
    // The text ends at the first zero byte, whatever follows it.
    const char* end = std::find(text, text + length, '\0');
    Cursor cursor(text, end);
    if (!cursor.literal("SN4DB")) {
        return 0;
    }
    int32_t* integers[] = {&x, &y, &z, &layers, &frames};
    int matched = 0;
    for (int32_t* field : integers) {
        if (!cursor.number(*field)) {
            return matched;
        }
        ++matched;
    }
    if (cursor.number(timestep)) {
        ++matched;
    }
    return matched;
}

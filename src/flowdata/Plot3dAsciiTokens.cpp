#include "flowdata/Plot3dAsciiTokens.h"

#include "diagnostics/Exception.h"

#include <algorithm>
#include <charconv>

namespace {
const char* const source = "Plot3dReader::read()";
constexpr std::size_t chunk = std::size_t(1) << 20;

bool isSeparator(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ',';
}

bool isNumberChar(char c)
{
    return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E' || c == 'd' || c == 'D' ||
           c == '*';
}
} // namespace

Plot3dAsciiTokens::Plot3dAsciiTokens(const BinaryFile& file, const std::string& path)
    : file(file), path(path), buffer(chunk)
{
}

bool Plot3dAsciiTokens::looksLikeText(const char* head, std::size_t bytes)
{
    return bytes > 0 && std::all_of(head, head + bytes, [](char c) { return isSeparator(c) || isNumberChar(c); });
}

bool Plot3dAsciiTokens::word(std::string& text)
{
    text.clear();
    for (;;) {
        if (at == end) {
            end = file.readAt(buffer.data(), buffer.size(), filePosition);
            filePosition += end;
            at = 0;
            if (end == 0) {
                return !text.empty();
            }
        }
        const char c = buffer[at];
        if (isSeparator(c)) {
            ++at;
            if (!text.empty()) {
                return true;
            }
            continue;
        }
        if (!isNumberChar(c) || text.size() > 64) {
            TOOL_THROW(source,
                       path + " holds text that is not a number near byte " + std::to_string(filePosition - end + at));
        }
        text.push_back(c);
        ++at;
    }
}

void Plot3dAsciiTokens::parse(const std::string& text)
{
    const std::size_t star = text.find('*');
    std::string number = text.substr(star == std::string::npos ? 0 : star + 1);
    std::replace(number.begin(), number.end(), 'd', 'e');
    std::replace(number.begin(), number.end(), 'D', 'e');
    const char* first = number.c_str();
    if (!number.empty() && number[0] == '+') {
        ++first;
    }
    const char* last = number.c_str() + number.size();
    const auto value = std::from_chars(first, last, repeated);
    bool good = value.ec == std::errc() && value.ptr == last;
    repeats = 1;
    if (star != std::string::npos) {
        const auto count = std::from_chars(text.data(), text.data() + star, repeats);
        good = good && count.ec == std::errc() && count.ptr == text.data() + star && repeats > 0;
    }
    if (!good) {
        TOOL_THROW(source, path + ": '" + text + "' is not a number");
    }
}

bool Plot3dAsciiTokens::next(double& value)
{
    if (repeats == 0) {
        std::string text;
        if (!word(text)) {
            return false;
        }
        parse(text);
    }
    --repeats;
    value = repeated;
    return true;
}

bool Plot3dAsciiTokens::skip(uint64_t count)
{
    std::string text;
    while (count > 0) {
        if (repeats == 0) {
            if (!word(text)) {
                return false;
            }
            parse(text);
        }
        const uint64_t step = std::min(count, repeats);
        repeats -= step;
        count -= step;
    }
    return true;
}

uint64_t Plot3dAsciiTokens::countRest()
{
    uint64_t count = repeats;
    repeats = 0;
    std::string text;
    while (word(text)) {
        parse(text);
        // Saturates: a hostile repeat count cannot wrap the total.
        count = repeats > UINT64_MAX - count ? UINT64_MAX : count + repeats;
        repeats = 0;
    }
    return count;
}

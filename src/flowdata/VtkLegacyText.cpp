#include "flowdata/VtkLegacyText.h"

#include "flowdata/BinaryFile.h"

#include <cstdlib>

namespace {
constexpr std::size_t blockBytes = std::size_t(1) << 16;
// No keyword, name or number of the format is longer.
constexpr std::size_t longestWord = 1024;

bool blank(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
} // namespace

VtkLegacyText::VtkLegacyText(const BinaryFile& file, uint64_t position)
    : file(file), buffer(blockBytes), start(position)
{
}

void VtkLegacyText::seek(uint64_t position)
{
    if (position >= start && position <= start + filled) {
        at = static_cast<std::size_t>(position - start);
        return;
    }
    start = position;
    at = 0;
    filled = 0;
}

int VtkLegacyText::peek()
{
    if (at == filled) {
        start += filled;
        at = 0;
        filled = file.readAt(buffer.data(), buffer.size(), start);
        if (filled == 0) {
            return -1;
        }
    }
    return static_cast<unsigned char>(buffer[at]);
}

bool VtkLegacyText::word(std::string& out)
{
    out.clear();
    int c = peek();
    while (c >= 0 && blank(c)) {
        ++at;
        c = peek();
    }
    while (c >= 0 && !blank(c)) {
        if (out.size() == longestWord) {
            return false;
        }
        out.push_back(static_cast<char>(c));
        ++at;
        c = peek();
    }
    return !out.empty();
}

bool VtkLegacyText::number(double& value)
{
    std::string text;
    if (!word(text)) {
        return false;
    }
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size();
}

std::string VtkLegacyText::line()
{
    std::string out;
    for (int c = peek(); c >= 0; c = peek()) {
        ++at;
        if (c == '\n') {
            break;
        }
        if (out.size() < longestWord) {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

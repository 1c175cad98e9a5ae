#include "flowdata/Base64.h"

#include <array>
#include <cstdint>

namespace {

// The value of each character, 64 for padding, -1 for white space, -2 for anything else.
std::array<int8_t, 256> makeTable()
{
    std::array<int8_t, 256> table;
    table.fill(-2);
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i) {
        table[static_cast<unsigned char>(alphabet[i])] = static_cast<int8_t>(i);
    }
    table['='] = 64;
    for (char c : {' ', '\t', '\n', '\r', '\f', '\v'}) {
        table[static_cast<unsigned char>(c)] = -1;
    }
    return table;
}

} // namespace

bool Base64::decode(const char* text, std::size_t length, std::string& out)
{
    static const std::array<int8_t, 256> table = makeTable();
    out.reserve(out.size() + length / 4 * 3 + 3);
    int group[4];
    int filled = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const int value = table[static_cast<unsigned char>(text[i])];
        if (value == -1) {
            continue;
        }
        if (value == -2) {
            return false;
        }
        group[filled++] = value;
        if (filled < 4) {
            continue;
        }
        filled = 0;
        // Padding may only fill the last one or two places of a group.
        if (group[0] == 64 || group[1] == 64 || (group[2] == 64 && group[3] != 64)) {
            return false;
        }
        const uint32_t bits = (uint32_t(group[0]) << 18) | (uint32_t(group[1]) << 12) | (uint32_t(group[2] & 63) << 6) |
                              uint32_t(group[3] & 63);
        out.push_back(static_cast<char>(bits >> 16));
        if (group[2] != 64) {
            out.push_back(static_cast<char>((bits >> 8) & 0xff));
        }
        if (group[3] != 64) {
            out.push_back(static_cast<char>(bits & 0xff));
        }
    }
    return filled == 0;
}

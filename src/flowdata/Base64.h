#pragma once

#include <cstddef>
#include <string>

// Decodes base64 text. Writers encode a block's header and its data one
// after the other, each with its own padding, so padding may end a group
// anywhere and the next group starts afresh. White space is skipped.
class Base64 {
public:
    // Appends the decoded bytes to out; false on a character outside the
    // alphabet or a group cut short.
    static bool decode(const char* text, std::size_t length, std::string& out);
};

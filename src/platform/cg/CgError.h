#pragma once

#include "platform/cg/cgGL.h"

#include <string>

// The layer's error state: the code of the last failure until cgGetError
// takes it, and a printable text for it that names the file or carries the
// compiler's log.
class CgError {
public:
    static void raise(CGerror code, const std::string& text);
    // Returns the pending code and clears it, as cgGetError does.
    static CGerror take();
    // The text of the last failure when it had this code, else a generic one.
    static const char* text(CGerror code);
};

#pragma once

#include "transfer/Transferfunction.h"

#include <map>
#include <string>

class PresetManager;

// The XML archive text of the preset store: the store saved through a pointer
// named "this", holding the map "preset" of named transfer functions.
class PresetArchive {
public:
    using Presets = std::map<std::string, Transferfunction>;

    // The archive text of the presets. Non-finite floats would make the whole
    // file unreadable, so they are written as the nearest end of 0..1 (NaN as
    // 0) and logged.
    static std::string write(const Presets& presets);

    // The presets held by an archive text. Throws Tool::Exception with the
    // reason when the text is not such an archive.
    static Presets read(const std::string& text);
};

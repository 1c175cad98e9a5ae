#include "PresetsFuzzEntry.h"

#include "diagnostics/Exception.h"
#include "transfer/PresetArchive.h"

#include <cstdlib>
#include <string>

int presetsFuzzOneInput(const uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    PresetArchive::Presets presets;
    try {
        presets = PresetArchive::read(text);
    } catch (const Tool::Exception&) {
        return 0;
    }
    // A file the program writes must always load back as it was.
    try {
        if (PresetArchive::read(PresetArchive::write(presets)) == presets) {
            return 0;
        }
    } catch (const Tool::Exception&) {
    }
    std::abort();
}

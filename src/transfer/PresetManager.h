#pragma once

#include "transfer/Transferfunction.h"

#include <cstddef>
#include <map>
#include <string>
#include <vector>

// The single store of named transfer functions, kept in the presets file in
// the current directory.
class PresetManager {
public:
    static const char* const fileName;
    // Presets files hold a few kilobytes; anything this big is not one.
    static constexpr std::size_t maxFileSize = 16 * 1024 * 1024;

    static PresetManager& getInstance();

    PresetManager(const PresetManager&) = delete;
    PresetManager& operator=(const PresetManager&) = delete;

    // Replaces the store with the file's contents. A missing file changes
    // nothing; an unreadable one is logged, changes nothing, and is moved
    // aside by the next save instead of being overwritten.
    void load();
    // Replaces the file with the whole store, atomically; failures are logged
    // and leave the old file in place.
    void save();

    std::vector<std::string> getPresetNames() const;
    bool hasPreset(const std::string& name) const;
    // Get-or-create: a missing name is added with a default function.
    Transferfunction& getPreset(const std::string& name);
    unsigned getPresetCount() const;

    std::map<std::string, Transferfunction> preset;

private:
    friend class PresetArchive;
    PresetManager() = default;

    bool moveAsideUnreadableFile();

    // Set while the file on disk is one that load could not read.
    bool fileUnreadable = false;
};

#pragma once

#include <string>

// Replaces a file's contents all at once: the new contents go to a temporary
// file in the same folder, are flushed to disk and renamed over the old file,
// so a failure at any point leaves the old file as it was. Temporary files
// that a killed save left behind are removed before the next one.
class AtomicFile {
public:
    // Throws Tool::Exception with the reason on failure.
    static void write(const std::string& path, const std::string& contents);
};

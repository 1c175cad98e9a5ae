#pragma once

#include <cstddef>
#include <string>

// Replaces a file's contents all at once: the new contents go to a temporary
// file in the same folder, are flushed to disk and renamed over the old file,
// so a failure at any point leaves the old file as it was, and no partial
// file ever carries the name asked for. Temporary files that a killed save
// left behind are removed before the next one.
class AtomicFile {
public:
    // Creates the temporary file next to path. Throws Tool::Exception with the
    // reason on failure, and when path (or what its link names) exists and is
    // not a regular file.
    explicit AtomicFile(const std::string& path);
    // Removes the temporary file unless commit() ran.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // The temporary file, for writers that open files by name.
    const std::string& temporaryPath() const { return temporary; }
    void append(const char* data, std::size_t size);
    // Flushes the temporary file and renames it over the file asked for.
    // Throws Tool::Exception on failure, with the temporary file removed.
    void commit();

    // The whole job for contents held in memory. Throws Tool::Exception.
    static void write(const std::string& path, const std::string& contents);

private:
    [[noreturn]] void abandon(const char* source, const std::string& what, int error);

    std::string path; // the file replaced; a symbolic link's target
    std::string temporary;
    int fd = -1;
    bool committed = false;
};

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A regular file opened for reading in large blocks with pread, never mapped:
// a file cut short while it is read gives a short read, not SIGBUS. Opening
// never blocks: a FIFO or device that carries a data file's name is refused,
// not waited on.
class BinaryFile {
public:
    // What identifies one version of a file: equal stamps mean it was not
    // replaced, cut or rewritten in between.
    struct Stamp {
        uint64_t device = 0;
        uint64_t inode = 0;
        uint64_t size = 0;
        int64_t modified = 0; // nanoseconds
        bool operator==(const Stamp& other) const;
        bool operator!=(const Stamp& other) const { return !(*this == other); }
    };

    BinaryFile() = default;
    BinaryFile(const BinaryFile&) = delete;
    BinaryFile& operator=(const BinaryFile&) = delete;
    ~BinaryFile();

    // False when the path cannot be opened or is not a regular file; errno
    // then tells why (EISDIR stands for any entry that is not a regular file).
    bool open(const std::string& path);
    void close();

    uint64_t size() const { return stamp_.size; }
    const Stamp& stamp() const { return stamp_; }

    // Reads up to count bytes from the current position; fewer only at the
    // end of the file or on a read error. Returns the bytes read.
    std::size_t read(void* target, std::size_t count);
    // The same from a given position, leaving the current one: several
    // threads may read one file at once.
    std::size_t readAt(void* target, std::size_t count, uint64_t position) const;

private:
    int descriptor = -1;
    uint64_t offset = 0;
    Stamp stamp_;
};

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A regular file opened for reading in large blocks. Opening never blocks:
// a FIFO or device that carries a data file's name is refused, not waited on.
class BinaryFile {
public:
    BinaryFile() = default;
    BinaryFile(const BinaryFile&) = delete;
    BinaryFile& operator=(const BinaryFile&) = delete;
    ~BinaryFile();

    // False when the path cannot be opened or is not a regular file.
    bool open(const std::string& path);
    void close();

    uint64_t size() const { return bytes; }

    // Reads up to count bytes from the current position; fewer only at the
    // end of the file or on a read error. Returns the bytes read.
    std::size_t read(void* target, std::size_t count);

private:
    int descriptor = -1;
    uint64_t bytes = 0;
};

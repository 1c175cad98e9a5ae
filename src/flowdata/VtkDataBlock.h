#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class BinaryFile;

// The bytes an array's data block is read from: a stretch of a file (raw
// appended data) or bytes decoded in memory (base64).
class VtkBytes {
public:
    virtual ~VtkBytes() = default;
    virtual uint64_t size() const = 0;
    // False when fewer than count bytes are present from offset on.
    virtual bool read(uint64_t offset, std::size_t count, void* into) const = 0;
};

class VtkMemoryBytes : public VtkBytes {
public:
    explicit VtkMemoryBytes(const std::string& bytes) : bytes(bytes) {}
    uint64_t size() const override { return bytes.size(); }
    bool read(uint64_t offset, std::size_t count, void* into) const override;

private:
    const std::string& bytes;
};

// The file from start on.
class VtkFileBytes : public VtkBytes {
public:
    VtkFileBytes(const BinaryFile& file, uint64_t start);
    uint64_t size() const override { return size_; }
    bool read(uint64_t offset, std::size_t count, void* into) const override;

private:
    const BinaryFile& file;
    uint64_t start;
    uint64_t size_;
};

// One array's data block: a byte count and the bytes, or, compressed, the
// block count, block size, last block's size and each block's compressed
// size, then one zlib stream per block.
struct VtkDataBlock {
    bool compressed = false;
    bool header64 = false;  // header integers are UInt64, else UInt32
    bool bigEndian = false; // the file's byte order, which its header integers share

    // Fills out with exactly byteCount bytes. Throws Tool::Exception naming
    // where when the block states another size, is cut short or does not
    // inflate; every size is checked against the bytes present first.
    void read(const VtkBytes& in, std::size_t byteCount, char* out, const std::string& where) const;

    // Checks the header against byteCount and the bytes present without
    // reading the data; returns each compressed block's size.
    std::vector<uint64_t> check(const VtkBytes& in, std::size_t byteCount, const std::string& where) const;

private:
    uint64_t header(const VtkBytes& in, uint64_t index, const std::string& where) const;
};

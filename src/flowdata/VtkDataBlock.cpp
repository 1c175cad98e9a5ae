#include "flowdata/VtkDataBlock.h"

#include "diagnostics/Exception.h"
#include "flowdata/BinaryFile.h"

#include <cstring>
#include <vector>
#include <zlib.h>

namespace {
const char* const source = "VtkDataBlock::read()";
// zlib inflates at most this many bytes from one.
constexpr uint64_t deflateRatio = 1032;
} // namespace

bool VtkMemoryBytes::read(uint64_t offset, std::size_t count, void* into) const
{
    if (offset > bytes.size() || count > bytes.size() - offset) {
        return false;
    }
    std::memcpy(into, bytes.data() + offset, count);
    return true;
}

VtkFileBytes::VtkFileBytes(const BinaryFile& file, uint64_t start)
    : file(file), start(start), size_(file.size() > start ? file.size() - start : 0)
{
}

bool VtkFileBytes::read(uint64_t offset, std::size_t count, void* into) const
{
    if (offset > size_ || count > size_ - offset) {
        return false;
    }
    return file.readAt(into, count, start + offset) == count;
}

uint64_t VtkDataBlock::header(const VtkBytes& in, uint64_t index, const std::string& where) const
{
    const std::size_t width = header64 ? 8 : 4;
    unsigned char raw[8] = {};
    if (!in.read(index * width, width, raw)) {
        TOOL_THROW(source, where + ": the data block is cut short in its header");
    }
    uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value = (value << 8) | raw[bigEndian ? i : width - 1 - i];
    }
    return value;
}

std::vector<uint64_t> VtkDataBlock::check(const VtkBytes& in, std::size_t byteCount, const std::string& where) const
{
    const uint64_t width = header64 ? 8 : 4;
    if (!compressed) {
        const uint64_t stated = header(in, 0, where);
        if (stated != byteCount) {
            TOOL_THROW(source, where + ": the data block holds " + std::to_string(stated) + " bytes where " +
                                   std::to_string(byteCount) + " are needed");
        }
        if (in.size() - width < byteCount) {
            TOOL_THROW(source, where + ": the data block is cut short");
        }
        return {};
    }
    const uint64_t blocks = header(in, 0, where);
    const uint64_t blockSize = header(in, 1, where);
    const uint64_t lastSize = header(in, 2, where);
    // Every block holds at least one byte, its compressed size takes a
    // header integer, and all but the last are full.
    if (blocks > byteCount || blocks > in.size() / width || (blocks > 0 && blockSize == 0) ||
        (blocks > 1 && blockSize > byteCount) || lastSize > blockSize) {
        TOOL_THROW(source, where + ": the compressed block header is invalid");
    }
    const uint64_t last = lastSize == 0 ? blockSize : lastSize;
    if (blocks == 0 ? byteCount != 0 : (blocks - 1) * blockSize + last != byteCount) {
        TOOL_THROW(source,
                   where + ": the compressed blocks do not hold the " + std::to_string(byteCount) + " bytes needed");
    }
    std::vector<uint64_t> sizes(blocks);
    uint64_t total = (3 + blocks) * width;
    for (uint64_t b = 0; b < blocks; ++b) {
        sizes[b] = header(in, 3 + b, where);
        if (sizes[b] > in.size() - total) {
            TOOL_THROW(source, where + ": the compressed data is cut short");
        }
        total += sizes[b];
    }
    if (byteCount / deflateRatio > total) {
        TOOL_THROW(source,
                   where + ": the compressed data is too small to inflate to " + std::to_string(byteCount) + " bytes");
    }
    return sizes;
}

void VtkDataBlock::read(const VtkBytes& in, std::size_t byteCount, char* out, const std::string& where) const
{
    const std::vector<uint64_t> sizes = check(in, byteCount, where);
    if (!compressed) {
        if (!in.read(header64 ? 8 : 4, byteCount, out)) {
            TOOL_THROW(source, where + ": the data block is cut short");
        }
        return;
    }
    const uint64_t blockSize = header(in, 1, where);
    uint64_t position = (3 + sizes.size()) * (header64 ? 8 : 4);
    std::vector<unsigned char> packed;
    for (std::size_t b = 0; b < sizes.size(); ++b) {
        packed.resize(sizes[b]);
        if (!in.read(position, sizes[b], packed.data())) {
            TOOL_THROW(source, where + ": the compressed data is cut short");
        }
        position += sizes[b];
        const uLongf expected = b + 1 == sizes.size() ? byteCount - b * blockSize : blockSize;
        uLongf produced = expected;
        const int status = ::uncompress(reinterpret_cast<Bytef*>(out + b * blockSize), &produced, packed.data(),
                                        static_cast<uLong>(sizes[b]));
        if (status != Z_OK || produced != expected) {
            TOOL_THROW(source, where + ": compressed block " + std::to_string(b) + " does not inflate to " +
                                   std::to_string(expected) + " bytes");
        }
    }
}

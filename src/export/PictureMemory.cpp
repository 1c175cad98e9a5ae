#include "export/PictureMemory.h"

namespace {
constexpr uint64_t bytesPerPixel = 4;
// Colour, depth, read-back, and the PNG copy or the movie's waiting pictures,
// spare buffers and encoder pictures.
constexpr uint64_t pictureBuffers = 4;
constexpr uint64_t movieBuffers = 8;

std::string megabytes(uint64_t bytes)
{
    return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MB";
}
} // namespace

uint64_t PictureMemory::needed(int width, int height, bool movie)
{
    const uint64_t pixels = uint64_t(width > 0 ? width : 0) * uint64_t(height > 0 ? height : 0);
    return pixels * bytesPerPixel * (movie ? movieBuffers : pictureBuffers);
}

std::string PictureMemory::problem(int width, int height, bool movie, uint64_t available)
{
    const uint64_t bytes = needed(width, height, movie);
    if (bytes <= available) {
        return {};
    }
    return std::to_string(width) + "x" + std::to_string(height) +
           (movie ? " movie pictures need " : " pictures need ") + megabytes(bytes) + "; " + megabytes(available) +
           " may be used";
}

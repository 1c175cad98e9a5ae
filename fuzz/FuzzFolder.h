#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Turns one fuzzer input into a small data set folder: a grid file "g.gri"
// and a few entries named like frame files. The input, byte by byte:
//
//   40 bytes    the grid header text (zero bytes where the input ends)
//   file layout  the grid body
//   then, up to six times, an entry byte e:
//     e % 4        0 a regular file (a file layout follows), 1 a directory,
//                  2 a FIFO, 3 a link to nothing
//     (e / 4) % 16 its name, from a fixed list; a name already taken is skipped
//
// A file layout is a size (two bytes, little-endian, taken modulo 4097), a
// count n and n bytes: the file is those bytes repeated up to its size, or
// zero bytes when n is 0. Sizes stay small, so each input costs little disk
// work, yet a few bytes still make a file of any size up to 4 KiB.
//
// The folder lives in the temporary folder, is made afresh for each input
// and goes away with the object.
class FuzzFolder {
public:
    FuzzFolder();
    FuzzFolder(const FuzzFolder&) = delete;
    FuzzFolder& operator=(const FuzzFolder&) = delete;
    ~FuzzFolder();

    // Empties the folder and fills it from the input; returns the grid's path.
    std::string build(const uint8_t* data, std::size_t size);

private:
    std::string folder;
};

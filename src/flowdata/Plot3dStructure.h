#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class BinaryFile;

// Which of the three PLOT3D files a file is.
enum class Plot3dKind { Grid, Solution, Function };

enum class Plot3dEncoding { Fortran, C, Ascii };

// How a PLOT3D file was written; no header says so.
struct Plot3dVariant {
    Plot3dEncoding encoding = Plot3dEncoding::Fortran;
    bool bigEndian = false;
    int realBytes = 4;
    bool blanked = false;
    int dimensions = 3;
    bool blockCount = false;

    std::string describe() const;
};

// What the user or a meta-file says about the variant; unset parts are
// detected.
struct Plot3dHints {
    std::optional<Plot3dEncoding> encoding;
    std::optional<bool> bigEndian;
    std::optional<int> realBytes;
    std::optional<bool> blanked;
    std::optional<int> dimensions;
    std::optional<bool> blockCount;
};

// One block of a file. Positions count bytes in a binary file and values in a
// text file.
struct Plot3dBlock {
    std::array<uint32_t, 3> size{{1, 1, 1}};
    // Variables per node of a function file.
    uint32_t variables = 0;
    uint64_t nodes = 0;
    // A solution block's four reals: Mach, angle of attack, Reynolds number, time.
    uint64_t conditions = 0;
    // The first value of the block's main record.
    uint64_t data = 0;
};

// The variant and the blocks of one file, found by trying every variant the
// hints allow and keeping the one whose layout fits the file exactly.
class Plot3dStructure {
public:
    static Plot3dStructure detect(const BinaryFile& file, const std::string& path, Plot3dKind kind,
                                  const Plot3dHints& hints);

    Plot3dVariant variant;
    std::vector<Plot3dBlock> blocks;
};

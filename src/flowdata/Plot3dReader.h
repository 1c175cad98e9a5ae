#pragma once

#include "flowdata/BinaryFile.h"
#include "flowdata/FlowReader.h"
#include "flowdata/Plot3dStructure.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// PLOT3D data sets: a grid file (.xyz .x .g .grd) with the solution files
// (.q) beside it, a solution file with its grid, or a .p3d meta-file. Each
// file's variant is detected from its bytes. One block of a multi-block grid
// is shown. The vector is the velocity; the layers are density, pressure and
// stagnation energy, then each function-file variable.
class Plot3dReader : public FlowReader {
public:
    Plot3dReader(const std::string& path, const FlowReaderOptions& options);

    // By content: Fortran records, or a meta-file's JSON.
    static bool recognises(const std::string& path, const char* head, std::size_t headBytes);

    const FlowLayout& layout() const override { return layout_; }
    void readPositions(float* positions) const override;
    void readFrame(std::size_t f, DataFrame& frame) const override;

    // Every block's node counts, and the one shown.
    const std::vector<std::array<uint32_t, 3>>& blocks() const { return blocks_; }
    std::size_t block() const { return shown; }

private:
    // One file and where the shown block's values lie in it.
    struct Part {
        std::string path;
        BinaryFile::Stamp stamp;
        Plot3dVariant variant;
        Plot3dBlock block;
    };
    struct Frame {
        Part solution;
        std::vector<Part> functions;
    };

    Part open(const std::string& path, BinaryFile& file) const;
    double addFrame(const std::string& solution, const std::vector<std::string>& functions, const Plot3dHints& hints);
    void readHoles(const BinaryFile& file);
    void reopen(const Part& part, BinaryFile& file) const;
    void logBlocks() const;
    static bool isMetaFile(const char* head, std::size_t headBytes);

    FlowLayout layout_;
    std::vector<std::array<uint32_t, 3>> blocks_;
    std::size_t shown = 0;
    std::size_t nodes = 0;
    double gamma = 1.4;
    Part grid;
    std::vector<Frame> frames;
    // One per node when the grid is blanked: true where IBLANK is 0.
    std::vector<bool> holes;
};

#pragma once

#include "flowdata/FlowReader.h"
#include "flowdata/VtkExtent.h"
#include "flowdata/VtkXmlFile.h"

#include <cstddef>
#include <string>
#include <vector>

// VTK's XML structured data sets (.vts, .vtr, .vti) as a one-frame set, and
// .pvd collections of them as a series with one frame per time step. The
// vector is the point array the file names as its vectors, else the first
// with 3 components; every point array of 1 component is a layer.
class VtkXmlReader : public FlowReader {
public:
    VtkXmlReader(const std::string& path, const FlowReaderOptions& options);

    // By content: the loader falls back on the extension.
    static bool recognises(const std::string& path, const char* head, std::size_t headBytes);

    const FlowLayout& layout() const override { return layout_; }
    void readPositions(float* positions) const override;
    // Opens the frame's files afresh: nothing of the series is kept between frames.
    void readFrame(std::size_t f, DataFrame& frame) const override;

private:
    // Checks that the file's pieces lie in the grid and carry the arrays the
    // first frame set out.
    void check(const VtkXmlFile& file) const;
    // Sets the vector and the layers out from the first frame's first piece.
    void chooseArrays(const VtkXmlFile& file);
    void placeFrame(const VtkXmlFile& file, const VtkXmlPiece& piece, DataFrame& frame) const;

    FlowLayout layout_;
    std::vector<std::vector<std::string>> frames; // each frame's part files
    VtkXmlFile::Kind kind = VtkXmlFile::Kind::ImageData;
    VtkExtent grid;
    std::string vectorName;     // empty: no vector array, vectors are zero
    std::size_t pieceCount = 0; // of the first frame, over all its parts
};

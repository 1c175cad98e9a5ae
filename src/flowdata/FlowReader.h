#pragma once

#include "flowdata/DataFrame.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What a data set's files say before any frame is read.
struct FlowLayout {
    // Node counts along i, j, k; i runs fastest, then j, then k.
    std::array<uint32_t, 3> size{{0, 0, 0}};
    std::vector<std::string> layerNames;
    // One entry per frame; its file (or the file that holds it), for log
    // lines and for telling that a file changed since the load.
    std::vector<std::string> frameFiles;
    // Seconds between frames.
    float timestep = 0.0f;
};

// How the user asked a file to be opened.
struct FlowReaderOptions {
    // The block of a multi-block file that is shown.
    int block = 0;
};

// One data format: opens a data set's files, checks them, and reads the grid's
// positions and any frame's values on demand. The load measures and rescales
// what it reads; a reader only turns its files into raw values.
//
// Every size a file states is checked against the bytes present before
// anything is allocated for it. Failures throw Tool::Exception with a text
// that names the file and what is wrong.
class FlowReader {
public:
    virtual ~FlowReader() = default;

    // Filled by the reader's construction, which opens and checks the files.
    virtual const FlowLayout& layout() const = 0;

    // x, y, z of every node, in node order; positions holds 3 * nodes floats.
    virtual void readPositions(float* positions) const = 0;

    // Frame f's vectors (x, y, z per node) and raw layer values, NaN where a
    // value is missing. frame's arrays already have their sizes: vectors
    // 3 * nodes, one layer per name with nodes values. Safe on several
    // threads at once.
    virtual void readFrame(std::size_t f, DataFrame& frame) const = 0;
};

#pragma once

#include "flowdata/FlowReader.h"
#include "flowdata/VtkValueType.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class BinaryFile;
class VtkLegacyText;

// A legacy .vtk file (ASCII, or binary and big-endian) holding a
// STRUCTURED_GRID, RECTILINEAR_GRID or STRUCTURED_POINTS data set, as a
// one-frame set. The vector is the VECTORS array, else the first point
// array of 3 components; every point array of 1 component is a layer.
// Opening finds where each array's values start; reading takes them from
// there, so nothing of the file is kept.
class VtkLegacyReader : public FlowReader {
public:
    VtkLegacyReader(const std::string& path, const FlowReaderOptions& options);

    // By content: the loader falls back on the extension.
    static bool recognises(const std::string& path, const char* head, std::size_t headBytes);

    const FlowLayout& layout() const override { return layout_; }
    void readPositions(float* positions) const override;
    void readFrame(std::size_t f, DataFrame& frame) const override;

private:
    enum class Kind { StructuredGrid, RectilinearGrid, StructuredPoints };
    struct Array {
        std::string name;
        VtkValueType type = VtkValueType::Float32;
        uint64_t components = 1;
        uint64_t tuples = 0;
        uint64_t offset = 0; // of its first value
    };

    void parse(VtkLegacyText& text);
    void parseGeometry(VtkLegacyText& text, const std::string& keyword);
    // One attribute of a POINT_DATA or CELL_DATA section; false when keyword is none.
    bool parseAttribute(VtkLegacyText& text, const std::string& keyword, uint64_t tuples, bool points);
    // Notes where the array's values start and skips them.
    Array skipArray(VtkLegacyText& text, const std::string& name, const std::string& typeName, uint64_t components,
                    uint64_t tuples);
    void chooseArrays();
    // Reads the array's values as floats into out.
    void read(const BinaryFile& file, const Array& array, float* out) const;
    void open(BinaryFile& file) const;
    uint64_t count(VtkLegacyText& text, const char* what, uint64_t limit) const;
    std::string word(VtkLegacyText& text, const char* what) const;
    [[noreturn]] void fail(const std::string& what, const char* source = nullptr) const;

    std::string path;
    FlowLayout layout_;
    bool binary = false;
    uint64_t fileSize = 0;
    Kind kind = Kind::StructuredPoints;
    std::array<uint64_t, 3> dimensions{{0, 0, 0}};
    std::array<double, 3> origin{{0, 0, 0}};
    std::array<double, 3> spacing{{1, 1, 1}};
    std::vector<Array> geometry; // the points, or the x, y and z coordinates
    std::vector<Array> pointArrays;
    std::string activeVectors;
    bool cellArrays = false;
    int vectorArray = -1; // of pointArrays; none: the vectors are zero
    std::vector<std::size_t> layerArrays;
};

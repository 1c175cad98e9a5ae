#pragma once

#include "flowdata/BinaryFile.h"
#include "flowdata/VtkDataBlock.h"
#include "flowdata/VtkExtent.h"
#include "flowdata/VtkValueType.h"

#include <array>
#include <cstdint>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <vector>

// One DataArray element: what its values are and where they are stored.
struct VtkXmlArray {
    enum class Format { Ascii, Binary, Appended };
    std::string name;
    VtkValueType type = VtkValueType::Float32;
    int components = 1;
    Format format = Format::Ascii;
    uint64_t offset = 0; // appended: from the byte after the '_'
    pugi::xml_node node; // inline: the element whose text holds the values
    uint64_t values = 0; // values per component
};

struct VtkXmlPiece {
    VtkExtent extent;
    std::vector<VtkXmlArray> pointArrays;
    std::string activeVectors;
    bool cellArrays = false;
    // A structured grid's points, or a rectilinear grid's x, y and z coordinates.
    std::vector<VtkXmlArray> geometry;
};

// One .vts, .vtr or .vti file: its XML, read up to any appended data, which
// is not XML and is read by offset when an array's values are asked for.
class VtkXmlFile {
public:
    enum class Kind { StructuredGrid, RectilinearGrid, ImageData };

    // Opens and parses the file, checking every array against the bytes present.
    explicit VtkXmlFile(const std::string& path);
    VtkXmlFile(const VtkXmlFile&) = delete;
    VtkXmlFile& operator=(const VtkXmlFile&) = delete;

    const std::string& path() const { return path_; }

    Kind kind = Kind::ImageData;
    VtkExtent whole;
    std::array<double, 3> origin{{0, 0, 0}};
    std::array<double, 3> spacing{{1, 1, 1}};
    // The pieces that hold nodes.
    std::vector<VtkXmlPiece> pieces;

    // Puts array's values, its components per node, at the piece's nodes in
    // the grid of extent grid, which holds the piece.
    void place(const VtkXmlPiece& piece, const VtkXmlArray& array, const VtkExtent& grid, float* out) const;
    // The same with x, y, z of the piece's nodes.
    void placePositions(const VtkXmlPiece& piece, const VtkExtent& grid, float* out) const;

private:
    struct Values {
        std::unique_ptr<char[]> bytes;
        VtkValueType type;
        bool bigEndian;
    };

    void readXml();
    void parseDocument();
    VtkXmlPiece parsePiece(pugi::xml_node node);
    VtkXmlArray parseArray(pugi::xml_node node, uint64_t values);
    Values read(const VtkXmlArray& array) const;
    void readAscii(const VtkXmlArray& array, float* out) const;
    std::string appendedText(const VtkXmlArray& array) const;
    [[noreturn]] void fail(const char* source, const std::string& what) const;

    std::string path_;
    BinaryFile file;
    std::string xml;
    pugi::xml_document document;
    VtkDataBlock block;
    bool appendedBase64 = false;
    uint64_t appendedStart = 0;
    std::vector<uint64_t> offsets; // of every appended array, ascending
};

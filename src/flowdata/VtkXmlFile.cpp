#include "flowdata/VtkXmlFile.h"

#include "diagnostics/Exception.h"
#include "flowdata/Base64.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

const char* const opening = "VtkXmlFile::VtkXmlFile()";
const char* const reading = "VtkXmlFile::read()";

// The first read is small: raw appended data follows a short header.
constexpr std::size_t firstChunk = std::size_t(1) << 16;
// The tag that ends the XML of a file with appended data, and how far its '_' may be.
const std::string appendedTag = "<AppendedData";
constexpr std::size_t appendedTagLimit = 4096;
// zlib inflates at most this many bytes from one.
constexpr uint64_t deflateRatio = 1032;

bool parseTriple(const char* text, std::array<double, 3>& out)
{
    const char* at = text;
    for (double& value : out) {
        char* end = nullptr;
        value = std::strtod(at, &end);
        if (end == at) {
            return false;
        }
        at = end;
    }
    return true;
}

bool nativeBigEndian()
{
    return __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;
}

} // namespace

VtkXmlFile::VtkXmlFile(const std::string& path) : path_(path)
{
    readXml();
    parseDocument();
}

void VtkXmlFile::fail(const char* source, const std::string& what) const
{
    TOOL_THROW(source, path_ + ": " + what);
}

void VtkXmlFile::readXml()
{
    if (!file.open(path_)) {
        fail(opening, std::string("couldn't open: ") + std::strerror(errno));
    }
    std::size_t marker = std::string::npos;
    uint64_t at = 0;
    while (at < file.size() && (marker == std::string::npos || xml.size() < marker + appendedTagLimit)) {
        const std::size_t old = xml.size();
        const std::size_t count =
            static_cast<std::size_t>(std::min<uint64_t>(std::max(firstChunk, xml.size()), file.size() - at));
        xml.resize(old + count);
        if (file.readAt(&xml[old], count, at) != count) {
            fail(opening, "the file is cut short while it is read");
        }
        at += count;
        if (marker == std::string::npos) {
            marker = xml.find(appendedTag, old >= appendedTag.size() ? old - appendedTag.size() : 0);
        }
    }
    if (marker == std::string::npos) {
        return;
    }
    // Raw appended data follows the tag's '>', blanks and a '_'; it is cut
    // off and the document closed, so the parser never sees it.
    const std::size_t close = xml.find('>', marker);
    const std::size_t underscore = close == std::string::npos ? close : xml.find_first_not_of(" \t\r\n", close + 1);
    if (underscore == std::string::npos || xml[underscore] != '_') {
        fail(opening, "the appended data has no '_' after its tag");
    }
    appendedStart = underscore + 1;
    xml.resize(close + 1);
    xml += "</AppendedData></VTKFile>";
}

void VtkXmlFile::parseDocument()
{
    const pugi::xml_parse_result parsed = document.load_buffer_inplace(&xml[0], xml.size());
    if (!parsed) {
        fail(opening, std::string("is not well-formed XML (") + parsed.description() + ")");
    }
    const pugi::xml_node root = document.child("VTKFile");
    const std::string type = root.attribute("type").value();
    if (type == "StructuredGrid") {
        kind = Kind::StructuredGrid;
    } else if (type == "RectilinearGrid") {
        kind = Kind::RectilinearGrid;
    } else if (type == "ImageData") {
        kind = Kind::ImageData;
    } else {
        fail(opening, "holds a VTK data set of type \"" + type + "\", not a structured grid");
    }
    const std::string order = root.attribute("byte_order").value();
    block.bigEndian = order == "BigEndian";
    const std::string header = root.attribute("header_type").value();
    if (!header.empty() && header != "UInt32" && header != "UInt64") {
        fail(opening, "has an unknown header type \"" + header + "\"");
    }
    block.header64 = header == "UInt64";
    const std::string compressor = root.attribute("compressor").value();
    if (!compressor.empty() && compressor != "vtkZLibDataCompressor") {
        fail(opening, "is compressed with " + compressor + ", which cannot be read");
    }
    block.compressed = !compressor.empty();
    const pugi::xml_node appended = root.child("AppendedData");
    if (appended) {
        const std::string encoding = appended.attribute("encoding").value();
        if (encoding != "raw" && encoding != "base64") {
            fail(opening, "has appended data of unknown encoding \"" + encoding + "\"");
        }
        appendedBase64 = encoding == "base64";
    }

    const pugi::xml_node grid = root.child(type.c_str());
    if (!VtkExtent::parse(grid.attribute("WholeExtent").value(), whole) || whole.empty()) {
        fail(opening, "has no valid WholeExtent");
    }
    if (kind == Kind::ImageData &&
        ((grid.attribute("Origin") && !parseTriple(grid.attribute("Origin").value(), origin)) ||
         (grid.attribute("Spacing") && !parseTriple(grid.attribute("Spacing").value(), spacing)))) {
        fail(opening, "has an invalid Origin or Spacing");
    }
    for (pugi::xml_node node : grid.children("Piece")) {
        VtkXmlPiece piece = parsePiece(node);
        if (!piece.extent.empty()) {
            pieces.push_back(std::move(piece));
        }
    }
    if (pieces.empty()) {
        fail(opening, "holds no piece with nodes");
    }
    std::sort(offsets.begin(), offsets.end());
}

VtkXmlPiece VtkXmlFile::parsePiece(pugi::xml_node node)
{
    VtkXmlPiece piece;
    if (!VtkExtent::parse(node.attribute("Extent").value(), piece.extent) ||
        (!piece.extent.empty() && !piece.extent.inside(whole))) {
        fail(opening, "has a piece whose Extent is invalid or outside the WholeExtent");
    }
    if (piece.extent.empty()) {
        return piece;
    }
    const uint64_t nodes = piece.extent.nodes();
    const pugi::xml_node pointData = node.child("PointData");
    piece.activeVectors = pointData.attribute("Vectors").value();
    for (pugi::xml_node array : pointData.children("DataArray")) {
        piece.pointArrays.push_back(parseArray(array, nodes));
    }
    piece.cellArrays = static_cast<bool>(node.child("CellData").child("DataArray"));
    if (kind == Kind::StructuredGrid) {
        piece.geometry.push_back(parseArray(node.child("Points").child("DataArray"), nodes));
        if (piece.geometry[0].components != 3) {
            fail(opening, "has points with other than 3 components");
        }
    } else if (kind == Kind::RectilinearGrid) {
        const std::array<uint64_t, 3> counts = piece.extent.counts();
        pugi::xml_node array = node.child("Coordinates").child("DataArray");
        for (int axis = 0; axis < 3; ++axis, array = array.next_sibling("DataArray")) {
            piece.geometry.push_back(parseArray(array, counts[axis]));
            if (piece.geometry.back().components != 1) {
                fail(opening, "has coordinates with more than 1 component");
            }
        }
    }
    return piece;
}

VtkXmlArray VtkXmlFile::parseArray(pugi::xml_node node, uint64_t values)
{
    if (!node) {
        fail(opening, "lacks the DataArray of its points or coordinates");
    }
    VtkXmlArray array;
    array.name = node.attribute("Name").value();
    array.node = node;
    array.values = values;
    const std::string what = "array \"" + array.name + "\"";
    if (!VtkValues::fromXmlName(node.attribute("type").value(), array.type)) {
        fail(opening, what + " has an unknown type \"" + node.attribute("type").value() + "\"");
    }
    const int components = node.attribute("NumberOfComponents").as_int(1);
    if (components < 1 || components > 64) {
        fail(opening, what + " has " + std::to_string(components) + " components");
    }
    array.components = components;
    const std::string format = node.attribute("format").value();
    uint64_t present = 0;
    if (format == "ascii") {
        // Every value takes a digit and a separator.
        array.format = VtkXmlArray::Format::Ascii;
        present = (std::strlen(node.child_value()) + 1) / 2 * VtkValues::size(array.type);
    } else if (format == "binary") {
        array.format = VtkXmlArray::Format::Binary;
        present = std::strlen(node.child_value()) / 4 * 3;
    } else if (format == "appended" && appendedStart > 0) {
        array.format = VtkXmlArray::Format::Appended;
        array.offset = node.attribute("offset").as_ullong(UINT64_MAX);
        const uint64_t space = file.size() - appendedStart;
        if (array.offset >= space) {
            fail(opening, what + " starts beyond the end of the file");
        }
        present = (space - array.offset) / (appendedBase64 ? 4 : 1) * (appendedBase64 ? 3 : 1);
        offsets.push_back(array.offset);
    } else {
        fail(opening, what + " has an unknown format \"" + format + "\"");
    }
    if (block.compressed && array.format != VtkXmlArray::Format::Ascii) {
        present = present > UINT64_MAX / deflateRatio ? UINT64_MAX : present * deflateRatio;
    }
    if (values > present / VtkValues::size(array.type) / uint64_t(components)) {
        fail(opening, what + " needs " + std::to_string(values) + " tuples, more than the file holds");
    }
    // Raw appended blocks say their sizes cheaply: a compressed one that
    // claims more than its bytes can inflate to fails before the load
    // makes room for it.
    if (array.format == VtkXmlArray::Format::Appended && !appendedBase64) {
        block.check(VtkFileBytes(file, appendedStart + array.offset), values * components * VtkValues::size(array.type),
                    path_ + ", array \"" + array.name + "\"");
    }
    return array;
}

void VtkXmlFile::readAscii(const VtkXmlArray& array, float* out) const
{
    const char* at = array.node.child_value();
    const uint64_t count = array.values * uint64_t(array.components);
    for (uint64_t i = 0; i < count; ++i) {
        char* end = nullptr;
        out[i] = std::strtof(at, &end);
        if (end == at) {
            fail(reading, "array \"" + array.name + "\" holds fewer than " + std::to_string(count) + " numbers");
        }
        at = end;
    }
}

std::string VtkXmlFile::appendedText(const VtkXmlArray& array) const
{
    // An array's text runs to the next array's offset, else to the closing tag.
    const auto next = std::upper_bound(offsets.begin(), offsets.end(), array.offset);
    const uint64_t end = next == offsets.end() ? file.size() - appendedStart : *next;
    std::string text(static_cast<std::size_t>(end - array.offset), '\0');
    if (file.readAt(&text[0], text.size(), appendedStart + array.offset) != text.size()) {
        fail(reading, "the appended data is cut short");
    }
    const std::size_t tag = text.find('<');
    if (tag != std::string::npos) {
        text.resize(tag);
    }
    return text;
}

VtkXmlFile::Values VtkXmlFile::read(const VtkXmlArray& array) const
{
    const std::size_t count = array.values * uint64_t(array.components);
    Values values{std::unique_ptr<char[]>(new char[count * VtkValues::size(array.type)]), array.type, block.bigEndian};
    const std::string where = path_ + ", array \"" + array.name + "\"";
    if (array.format == VtkXmlArray::Format::Ascii) {
        readAscii(array, reinterpret_cast<float*>(values.bytes.get()));
        values.type = VtkValueType::Float32;
        values.bigEndian = nativeBigEndian();
        return values;
    }
    if (array.format == VtkXmlArray::Format::Appended && !appendedBase64) {
        block.read(VtkFileBytes(file, appendedStart + array.offset), count * VtkValues::size(array.type),
                   values.bytes.get(), where);
        return values;
    }
    const std::string text =
        array.format == VtkXmlArray::Format::Binary ? array.node.child_value() : appendedText(array);
    std::string decoded;
    if (!Base64::decode(text.data(), text.size(), decoded)) {
        fail(reading, "array \"" + array.name + "\" is not valid base64");
    }
    block.read(VtkMemoryBytes(decoded), count * VtkValues::size(array.type), values.bytes.get(), where);
    return values;
}

void VtkXmlFile::place(const VtkXmlPiece& piece, const VtkXmlArray& array, const VtkExtent& grid, float* out) const
{
    // Raw floats of the whole grid in our byte order are read straight into place.
    if (array.format == VtkXmlArray::Format::Appended && !appendedBase64 && !block.compressed &&
        array.type == VtkValueType::Float32 && block.bigEndian == nativeBigEndian() &&
        piece.extent.bounds == grid.bounds) {
        block.read(VtkFileBytes(file, appendedStart + array.offset), array.values * array.components * sizeof(float),
                   reinterpret_cast<char*>(out), path_ + ", array \"" + array.name + "\"");
        return;
    }
    const Values values = read(array);
    VtkExtent::place(values.bytes.get(), values.type, values.bigEndian, array.components, piece.extent, grid, out);
}

void VtkXmlFile::placePositions(const VtkXmlPiece& piece, const VtkExtent& grid, float* out) const
{
    if (kind == Kind::StructuredGrid) {
        place(piece, piece.geometry[0], grid, out);
        return;
    }
    const std::array<uint64_t, 3> counts = piece.extent.counts();
    std::array<std::vector<float>, 3> axes;
    for (int axis = 0; axis < 3; ++axis) {
        axes[axis].resize(counts[axis]);
        for (uint64_t n = 0; n < counts[axis]; ++n) {
            const int64_t index = piece.extent.bounds[2 * axis] + int64_t(n);
            axes[axis][n] = float(origin[axis] + spacing[axis] * double(index));
        }
        if (kind == Kind::RectilinearGrid) {
            const Values values = read(piece.geometry[axis]);
            VtkValues::toFloats(values.bytes.get(), counts[axis], values.type, values.bigEndian, axes[axis].data());
        }
    }
    const std::array<int64_t, 6>& b = piece.extent.bounds;
    for (int64_t k = b[4]; k <= b[5]; ++k) {
        for (int64_t j = b[2]; j <= b[3]; ++j) {
            float* node = out + grid.index(b[0], j, k) * 3;
            for (int64_t i = b[0]; i <= b[1]; ++i, node += 3) {
                node[0] = axes[0][i - b[0]];
                node[1] = axes[1][j - b[2]];
                node[2] = axes[2][k - b[4]];
            }
        }
    }
}

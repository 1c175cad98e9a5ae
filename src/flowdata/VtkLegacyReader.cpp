#include "flowdata/VtkLegacyReader.h"
#include "flowdata/LowerCase.h"

#include "diagnostics/Exception.h"
#include "flowdata/BinaryFile.h"
#include "flowdata/VtkLegacyText.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

const char* const opening = "VtkLegacyReader::VtkLegacyReader()";
const char* const reading = "VtkLegacyReader::readFrame()";
const std::string signature = "# vtk DataFile Version";
// No grid has more nodes along an axis.
constexpr uint64_t axisLimit = uint64_t(1) << 31;

} // namespace

bool VtkLegacyReader::recognises(const std::string&, const char* head, std::size_t headBytes)
{
    return headBytes >= signature.size() && std::memcmp(head, signature.data(), signature.size()) == 0;
}

VtkLegacyReader::VtkLegacyReader(const std::string& path, const FlowReaderOptions&) : path(path)
{
    BinaryFile file;
    open(file);
    fileSize = file.size();
    VtkLegacyText text(file, 0);
    parse(text);
    chooseArrays();
    layout_.size = {{uint32_t(dimensions[0]), uint32_t(dimensions[1]), uint32_t(dimensions[2])}};
    layout_.frameFiles = {path};
}

void VtkLegacyReader::fail(const std::string& what, const char* source) const
{
    TOOL_THROW(source ? source : opening, path + ": " + what);
}

void VtkLegacyReader::open(BinaryFile& file) const
{
    if (!file.open(path)) {
        fail(std::string("couldn't open: ") + std::strerror(errno));
    }
}

std::string VtkLegacyReader::word(VtkLegacyText& text, const char* what) const
{
    std::string out;
    if (!text.word(out)) {
        fail(std::string("ends where ") + what + " should be");
    }
    return out;
}

uint64_t VtkLegacyReader::count(VtkLegacyText& text, const char* what, uint64_t limit) const
{
    double value = 0;
    if (!text.number(value) || !(value >= 0) || value != std::floor(value) || value > double(limit)) {
        fail(std::string("has an invalid ") + what);
    }
    return uint64_t(value);
}

void VtkLegacyReader::parse(VtkLegacyText& text)
{
    if (text.line().compare(0, signature.size(), signature) != 0) {
        fail("is not a legacy VTK file");
    }
    text.line(); // the title
    const std::string format = lowerCase(word(text, "ASCII or BINARY"));
    if (format != "ascii" && format != "binary") {
        fail("is neither ASCII nor BINARY");
    }
    binary = format == "binary";
    if (lowerCase(word(text, "DATASET")) != "dataset") {
        fail("has no DATASET");
    }
    const std::string type = lowerCase(word(text, "the data set type"));
    if (type == "structured_grid") {
        kind = Kind::StructuredGrid;
    } else if (type == "rectilinear_grid") {
        kind = Kind::RectilinearGrid;
        geometry.resize(3);
    } else if (type == "structured_points") {
        kind = Kind::StructuredPoints;
    } else {
        fail("holds a " + type + " data set, not a structured grid");
    }
    std::string keyword;
    bool inSection = false, points = false;
    uint64_t tuples = 0;
    while (text.word(keyword)) {
        keyword = lowerCase(keyword);
        if (keyword == "point_data" || keyword == "cell_data") {
            inSection = true;
            points = keyword == "point_data";
            tuples = count(text, "number of values", fileSize);
            text.line();
        } else if (!inSection) {
            parseGeometry(text, keyword);
        } else if (!parseAttribute(text, keyword, tuples, points)) {
            fail("has an unknown keyword \"" + keyword + "\"");
        }
    }
    if (text.position() < fileSize) {
        fail("holds a word too long to read");
    }
}

void VtkLegacyReader::parseGeometry(VtkLegacyText& text, const std::string& keyword)
{
    if (keyword == "dimensions") {
        for (uint64_t& d : dimensions) {
            d = count(text, "DIMENSIONS", axisLimit);
        }
        text.line();
    } else if (keyword == "points" && kind == Kind::StructuredGrid) {
        const uint64_t n = count(text, "number of points", fileSize);
        const std::string type = word(text, "the points' type");
        text.line();
        geometry = {skipArray(text, "points", type, 3, n)};
    } else if (kind == Kind::RectilinearGrid &&
               (keyword == "x_coordinates" || keyword == "y_coordinates" || keyword == "z_coordinates")) {
        const uint64_t n = count(text, "number of coordinates", fileSize);
        const std::string type = word(text, "the coordinates' type");
        text.line();
        geometry[keyword[0] - 'x'] = skipArray(text, keyword, type, 1, n);
    } else if (keyword == "origin" || keyword == "spacing" || keyword == "aspect_ratio") {
        std::array<double, 3>& target = keyword == "origin" ? origin : spacing;
        for (double& value : target) {
            if (!text.number(value) || !std::isfinite(value)) {
                fail("has an invalid " + keyword);
            }
        }
        text.line();
    } else if (!parseAttribute(text, keyword, 0, false)) {
        fail("has an unknown keyword \"" + keyword + "\"");
    }
}

bool VtkLegacyReader::parseAttribute(VtkLegacyText& text, const std::string& keyword, uint64_t tuples, bool points)
{
    Array array;
    if (keyword == "scalars") {
        const std::string name = word(text, "the scalars' name");
        const std::string type = word(text, "the scalars' type");
        double components = 1;
        const std::string rest = text.line();
        if (rest.find_first_not_of(" \t\r") != std::string::npos) {
            components = std::atof(rest.c_str());
        }
        if (!(components >= 1 && components <= 4)) {
            fail("has scalars \"" + name + "\" of invalid components");
        }
        // The lookup table line is optional.
        const uint64_t back = text.position();
        std::string next;
        if (text.word(next) && lowerCase(next) == "lookup_table") {
            text.line();
        } else {
            text.seek(back);
        }
        array = skipArray(text, name, type, uint64_t(components), tuples);
    } else if (keyword == "color_scalars") {
        const std::string name = word(text, "the colour scalars' name");
        const uint64_t components = count(text, "number of colour components", 4);
        text.line();
        array = skipArray(text, name, binary ? "unsigned_char" : "float", components, tuples);
    } else if (keyword == "lookup_table") {
        word(text, "the lookup table's name");
        const uint64_t size = count(text, "lookup table size", fileSize);
        text.line();
        skipArray(text, "lookup table", binary ? "unsigned_char" : "float", 4, size);
        return true;
    } else if (keyword == "vectors" || keyword == "normals" || keyword == "tensors" || keyword == "tensors6") {
        const std::string name = word(text, "the array's name");
        const std::string type = word(text, "the array's type");
        text.line();
        const uint64_t components = keyword == "tensors" ? 9 : keyword == "tensors6" ? 6 : 3;
        array = skipArray(text, name, type, components, tuples);
        if (keyword == "vectors" && points && activeVectors.empty()) {
            activeVectors = name;
        }
    } else if (keyword == "texture_coordinates") {
        const std::string name = word(text, "the texture coordinates' name");
        const uint64_t components = count(text, "texture dimension", 3);
        const std::string type = word(text, "the texture coordinates' type");
        text.line();
        array = skipArray(text, name, type, components, tuples);
    } else if (keyword == "field") {
        word(text, "the field's name");
        const uint64_t arrays = count(text, "number of field arrays", fileSize);
        text.line();
        for (uint64_t a = 0; a < arrays; ++a) {
            const std::string name = word(text, "a field array's name");
            const uint64_t components = count(text, "number of components", 64);
            const uint64_t n = count(text, "number of tuples", fileSize);
            const std::string type = word(text, "a field array's type");
            text.line();
            const Array field = skipArray(text, name, type, components, n);
            if (points && n == tuples) {
                pointArrays.push_back(field);
            }
            cellArrays = cellArrays || !points;
        }
        return true;
    } else if (keyword == "metadata") {
        // Ends at an empty line.
        text.line();
        while (text.position() < fileSize && text.line().find_first_not_of(" \t\r") != std::string::npos) {
        }
        return true;
    } else {
        return false;
    }
    if (points) {
        pointArrays.push_back(array);
    } else {
        cellArrays = true;
    }
    return true;
}

VtkLegacyReader::Array VtkLegacyReader::skipArray(VtkLegacyText& text, const std::string& name,
                                                  const std::string& typeName, uint64_t components, uint64_t tuples)
{
    Array array;
    array.name = name;
    array.components = components;
    array.tuples = tuples;
    if (!VtkValues::fromLegacyName(lowerCase(typeName), array.type)) {
        fail("array \"" + name + "\" has a type \"" + typeName + "\" that cannot be read");
    }
    array.offset = text.position();
    const uint64_t left = fileSize - std::min(fileSize, array.offset);
    // A binary value takes its size, a text value a digit and a separator.
    const uint64_t most = binary ? left / VtkValues::size(array.type) : left / 2 + 1;
    if (components != 0 && tuples > most / components) {
        fail("array \"" + name + "\" needs " + std::to_string(tuples) + " tuples, more than the file holds");
    }
    const uint64_t values = tuples * components;
    if (binary) {
        text.seek(array.offset + values * VtkValues::size(array.type));
        return array;
    }
    double value = 0;
    for (uint64_t v = 0; v < values; ++v) {
        if (!text.number(value)) {
            fail("array \"" + name + "\" holds fewer than " + std::to_string(values) + " numbers");
        }
    }
    return array;
}

void VtkLegacyReader::chooseArrays()
{
    if (dimensions[0] == 0 || dimensions[1] == 0 || dimensions[2] == 0) {
        fail("has no valid DIMENSIONS");
    }
    if (pointArrays.empty()) {
        fail(cellArrays ? "holds cell data only; point data is needed" : "holds no point data");
    }
    // Each dimension is below 2^31, so the product fits 128 bits; it must
    // equal the values present, which the file's size bounds.
    const unsigned __int128 product = (unsigned __int128)dimensions[0] * dimensions[1] * dimensions[2];
    const uint64_t nodes = product > fileSize ? UINT64_MAX : uint64_t(product);
    if (pointArrays[0].tuples != nodes) {
        fail("its POINT_DATA holds " + std::to_string(pointArrays[0].tuples) + " values for a grid of " +
             std::to_string(dimensions[0]) + "x" + std::to_string(dimensions[1]) + "x" + std::to_string(dimensions[2]) +
             " nodes");
    }
    if (kind == Kind::StructuredGrid && (geometry.empty() || geometry[0].tuples != nodes)) {
        fail("holds no POINTS for each of its nodes");
    }
    for (std::size_t axis = 0; kind == Kind::RectilinearGrid && axis < 3; ++axis) {
        if (geometry[axis].tuples != dimensions[axis]) {
            fail("holds no coordinates for each of its nodes along " + std::string(1, char('x' + axis)));
        }
    }
    for (std::size_t a = 0; a < pointArrays.size(); ++a) {
        if (pointArrays[a].components == 3 && pointArrays[a].name == activeVectors && vectorArray < 0) {
            vectorArray = int(a);
        }
    }
    for (std::size_t a = 0; a < pointArrays.size(); ++a) {
        if (pointArrays[a].components == 3 && vectorArray < 0) {
            vectorArray = int(a);
        }
        if (pointArrays[a].components == 1) {
            layerArrays.push_back(a);
            layout_.layerNames.push_back(pointArrays[a].name);
        }
    }
}

void VtkLegacyReader::read(const BinaryFile& file, const Array& array, float* out) const
{
    const uint64_t values = array.tuples * array.components;
    if (binary) {
        const std::size_t bytes = values * VtkValues::size(array.type);
        std::unique_ptr<char[]> raw(new char[bytes]);
        if (file.readAt(raw.get(), bytes, array.offset) != bytes) {
            fail("is cut short in array \"" + array.name + "\"", reading);
        }
        VtkValues::toFloats(raw.get(), values, array.type, true, out);
        return;
    }
    VtkLegacyText text(file, array.offset);
    for (uint64_t v = 0; v < values; ++v) {
        double value = 0;
        if (!text.number(value)) {
            fail("array \"" + array.name + "\" holds fewer than " + std::to_string(values) + " numbers", reading);
        }
        out[v] = float(value);
    }
}

void VtkLegacyReader::readPositions(float* positions) const
{
    BinaryFile file;
    open(file);
    if (kind == Kind::StructuredGrid) {
        read(file, geometry[0], positions);
        return;
    }
    std::array<std::vector<float>, 3> axes;
    for (std::size_t axis = 0; axis < 3; ++axis) {
        axes[axis].resize(dimensions[axis]);
        if (kind == Kind::RectilinearGrid) {
            read(file, geometry[axis], axes[axis].data());
            continue;
        }
        for (uint64_t n = 0; n < dimensions[axis]; ++n) {
            axes[axis][n] = float(origin[axis] + spacing[axis] * double(n));
        }
    }
    float* node = positions;
    for (uint64_t k = 0; k < dimensions[2]; ++k) {
        for (uint64_t j = 0; j < dimensions[1]; ++j) {
            for (uint64_t i = 0; i < dimensions[0]; ++i, node += 3) {
                node[0] = axes[0][i];
                node[1] = axes[1][j];
                node[2] = axes[2][k];
            }
        }
    }
}

void VtkLegacyReader::readFrame(std::size_t f, DataFrame& frame) const
{
    if (f != 0) {
        fail("holds one frame, not frame " + std::to_string(f), reading);
    }
    BinaryFile file;
    open(file);
    if (vectorArray < 0) {
        std::fill(frame.vectors.begin(), frame.vectors.end(), 0.0f);
    } else {
        read(file, pointArrays[vectorArray], frame.vectors.data());
    }
    for (std::size_t l = 0; l < layerArrays.size(); ++l) {
        read(file, pointArrays[layerArrays[l]], frame.layers[l].values.data());
    }
}

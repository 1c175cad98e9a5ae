#include "flowdata/GridFileReader.h"

#include "diagnostics/Exception.h"
#include "flowdata/FrameFiles.h"
#include "flowdata/FrameReader.h"

#include <cerrno>
#include <cstring>
#include <limits>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "grid files are read as little-endian floats");

namespace {

const std::string loadSource = "FlowData::load()";
// Load failures name the class as their file, whatever the source path is.
const std::string throwFile = "FlowData";
const std::string invalidGrid = "Invalid Gridfile (Size and Positions not matching";

// More layers than any real data set carries; the bound keeps the per-layer
// bookkeeping of a tiny hostile grid from dwarfing its file.
constexpr int32_t maximumLayers = 4096;

// The node count of a header, or 0 when it describes no usable grid: a zero
// axis, or more nodes than a 32-bit count holds.
uint64_t nodeCountOf(const std::array<uint32_t, 3>& size)
{
    const uint64_t limit = std::numeric_limits<uint32_t>::max();
    uint64_t nodes = 1;
    for (uint32_t axis : size) {
        if (axis == 0 || nodes > limit / axis) {
            return 0;
        }
        nodes *= axis;
    }
    return nodes;
}

} // namespace

bool GridFileReader::recognises(const std::string&, const char* head, std::size_t headBytes)
{
    return headBytes >= 5 && std::memcmp(head, "SN4DB", 5) == 0;
}

GridFileReader::GridFileReader(const std::string& path, const FlowReaderOptions&, const GridHeader& earlier)
    : path(path)
{
    if (!file.open(path)) {
        throw Tool::Exception(loadSource, "Couldn't open " + path, throwFile, __LINE__);
    }
    char text[GridHeader::byteCount] = {};
    const std::size_t headerBytes = file.read(text, sizeof text);
    GridHeader header = earlier;
    const int matched = header.parse(text, headerBytes);
    layout_.size = {
        {static_cast<uint32_t>(header.x), static_cast<uint32_t>(header.y), static_cast<uint32_t>(header.z)}};
    layers = header.layers;
    layout_.timestep = header.timestep;
    frames = earlier.frames;
    // A header frame count of F > 1 means F + 1 frame files.
    if (matched >= 5) {
        frames =
            header.frames > 1 ? header.frames + (header.frames < std::numeric_limits<int32_t>::max()) : header.frames;
    }

    nodes = nodeCountOf(layout_.size);
    const uint64_t bodyBytes = file.size() > GridHeader::byteCount ? file.size() - GridHeader::byteCount : 0;
    if (nodes == 0 || layers < 0 || layers > maximumLayers || bodyBytes / 12 < nodes) {
        throw Tool::Exception(loadSource, invalidGrid, throwFile, __LINE__);
    }
    layout_.layerNames.reserve(static_cast<std::size_t>(layers));
    for (int32_t l = 0; l < layers; ++l) {
        layout_.layerNames.push_back("Layer_" + std::to_string(l));
    }

    const std::size_t slash = path.find_last_of('/');
    const std::string directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string fileName = path.substr(directory.size());
    std::vector<std::string> names;
    listed = FrameFiles::list(directory, fileName.substr(0, fileName.find_last_of('.')), names);
    for (const std::string& name : names) {
        layout_.frameFiles.push_back(directory + name);
    }
}

void GridFileReader::readPositions(float* positions) const
{
    // A file that shrank since its size was taken shows as a short read.
    if (file.readAt(positions, 12 * nodes, GridHeader::byteCount) != 12 * nodes) {
        throw Tool::Exception(loadSource, invalidGrid, throwFile, __LINE__);
    }
}

void GridFileReader::readFrame(std::size_t f, DataFrame& frame) const
{
    const std::string& framePath = layout_.frameFiles.at(f);
    FrameReader reader(layout_.size, static_cast<uint32_t>(layers));
    const FrameReader::Result result = reader.read(framePath, frame);
    if (result == FrameReader::Result::CannotOpen) {
        TOOL_THROW("GridFileReader::readFrame()", "Couldn't open " + framePath + ": " + std::strerror(errno));
    }
    if (result == FrameReader::Result::TooShort) {
        TOOL_THROW("GridFileReader::readFrame()", framePath + " is shorter than the grid needs");
    }
}

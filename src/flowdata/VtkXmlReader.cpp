#include "flowdata/VtkXmlReader.h"
#include "flowdata/LowerCase.h"

#include "diagnostics/Exception.h"
#include "flowdata/BinaryFile.h"
#include "flowdata/VtkCollection.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <memory>

namespace {

const char* const opening = "VtkXmlReader::VtkXmlReader()";
const char* const reading = "VtkXmlReader::readFrame()";

// A collection tells itself by its root's type, which the first bytes hold.
bool isCollection(const std::string& path)
{
    if (lowerExtension(path) == ".pvd") {
        return true;
    }
    BinaryFile file;
    std::string head(4096, '\0');
    if (!file.open(path)) {
        return false;
    }
    head.resize(file.readAt(&head[0], head.size(), 0));
    return head.find("type=\"Collection\"") != std::string::npos;
}

const VtkXmlArray* findArray(const VtkXmlPiece& piece, const std::string& name, int components)
{
    for (const VtkXmlArray& array : piece.pointArrays) {
        if (array.name == name && array.components == components) {
            return &array;
        }
    }
    return nullptr;
}

} // namespace

bool VtkXmlReader::recognises(const std::string&, const char* head, std::size_t headBytes)
{
    const std::string text(head, headBytes);
    if (text.find("<VTKFile") != std::string::npos) {
        for (const char* type : {"StructuredGrid", "RectilinearGrid", "ImageData", "Collection"}) {
            if (text.find(std::string("type=\"") + type + "\"") != std::string::npos) {
                return true;
            }
        }
    }
    return false;
}

VtkXmlReader::VtkXmlReader(const std::string& path, const FlowReaderOptions&)
{
    std::vector<double> times{0.0};
    if (isCollection(path)) {
        const VtkCollection collection(path);
        times.clear();
        for (const VtkCollection::Step& step : collection.steps) {
            frames.push_back(step.files);
            times.push_back(step.time);
        }
    } else {
        frames.push_back({path});
    }

    std::vector<std::unique_ptr<VtkXmlFile>> parts;
    uint64_t pieceNodes = 0;
    for (const std::string& file : frames[0]) {
        parts.push_back(std::make_unique<VtkXmlFile>(file));
        if (parts.back()->kind != parts[0]->kind) {
            TOOL_THROW(opening, file + ": is not the same kind of grid as " + frames[0][0]);
        }
        for (const VtkXmlPiece& piece : parts.back()->pieces) {
            grid = grid.joined(piece.extent);
            pieceNodes += piece.extent.nodes();
            ++pieceCount;
        }
    }
    kind = parts[0]->kind;
    chooseArrays(*parts[0]);
    for (const std::unique_ptr<VtkXmlFile>& part : parts) {
        check(*part);
    }

    // Pieces share their border nodes, so together they hold at least the
    // grid's nodes; every node must lie in one.
    const std::array<uint64_t, 3> counts = grid.counts();
    bool covered = pieceNodes >= grid.nodes() && std::max({counts[0], counts[1], counts[2]}) <= UINT32_MAX;
    if (covered && pieceCount > 1) {
        std::vector<bool> inside(grid.nodes(), false);
        for (const std::unique_ptr<VtkXmlFile>& part : parts) {
            for (const VtkXmlPiece& piece : part->pieces) {
                const std::array<int64_t, 6>& b = piece.extent.bounds;
                for (int64_t k = b[4]; k <= b[5]; ++k) {
                    for (int64_t j = b[2]; j <= b[3]; ++j) {
                        const uint64_t row = grid.index(b[0], j, k);
                        std::fill(inside.begin() + row, inside.begin() + row + (b[1] - b[0] + 1), true);
                    }
                }
            }
        }
        covered = std::find(inside.begin(), inside.end(), false) == inside.end();
    }
    if (!covered) {
        TOOL_THROW(opening, frames[0][0] + ": the pieces do not cover the grid");
    }

    layout_.size = {{uint32_t(counts[0]), uint32_t(counts[1]), uint32_t(counts[2])}};
    for (const std::vector<std::string>& files : frames) {
        layout_.frameFiles.push_back(files[0]);
    }
    if (times.size() > 1) {
        layout_.timestep = float((times.back() - times.front()) / double(times.size() - 1));
    }
}

void VtkXmlReader::chooseArrays(const VtkXmlFile& file)
{
    const VtkXmlPiece& piece = file.pieces[0];
    if (piece.pointArrays.empty()) {
        TOOL_THROW(opening, file.path() + (piece.cellArrays ? ": holds cell data only; point data is needed"
                                                            : ": holds no point data"));
    }
    if (findArray(piece, piece.activeVectors, 3)) {
        vectorName = piece.activeVectors;
    }
    for (const VtkXmlArray& array : piece.pointArrays) {
        if (array.components == 3 && vectorName.empty()) {
            vectorName = array.name;
        }
        if (array.components == 1) {
            layout_.layerNames.push_back(array.name);
        }
    }
}

void VtkXmlReader::check(const VtkXmlFile& file) const
{
    if (file.kind != kind) {
        TOOL_THROW(reading, file.path() + ": is not the same kind of grid as the first frame");
    }
    for (const VtkXmlPiece& piece : file.pieces) {
        if (!piece.extent.inside(grid)) {
            TOOL_THROW(reading, file.path() + ": a piece lies outside the first frame's grid");
        }
        if (!vectorName.empty() && !findArray(piece, vectorName, 3)) {
            TOOL_THROW(reading, file.path() + ": a piece lacks the vector array \"" + vectorName + "\"");
        }
        for (const std::string& name : layout_.layerNames) {
            if (!findArray(piece, name, 1)) {
                TOOL_THROW(reading, file.path() + ": a piece lacks the array \"" + name + "\"");
            }
        }
    }
}

void VtkXmlReader::readPositions(float* positions) const
{
    for (const std::string& path : frames[0]) {
        const VtkXmlFile file(path);
        for (const VtkXmlPiece& piece : file.pieces) {
            file.placePositions(piece, grid, positions);
        }
    }
}

void VtkXmlReader::placeFrame(const VtkXmlFile& file, const VtkXmlPiece& piece, DataFrame& frame) const
{
    if (!vectorName.empty()) {
        file.place(piece, *findArray(piece, vectorName, 3), grid, frame.vectors.data());
    }
    for (std::size_t l = 0; l < layout_.layerNames.size(); ++l) {
        file.place(piece, *findArray(piece, layout_.layerNames[l], 1), grid, frame.layers[l].values.data());
    }
}

void VtkXmlReader::readFrame(std::size_t f, DataFrame& frame) const
{
    if (f >= frames.size()) {
        TOOL_THROW(reading, "Frame " + std::to_string(f) + " of " + std::to_string(frames.size()));
    }
    std::vector<std::unique_ptr<VtkXmlFile>> parts;
    bool whole = false;
    for (const std::string& path : frames[f]) {
        parts.push_back(std::make_unique<VtkXmlFile>(path));
        check(*parts.back());
        whole = whole || (parts.back()->pieces.size() == 1 && parts.back()->pieces[0].extent.bounds == grid.bounds);
    }
    // Nodes no piece of this frame holds stay missing.
    if (!whole) {
        for (DataLayer& layer : frame.layers) {
            std::fill(layer.values.begin(), layer.values.end(), std::numeric_limits<float>::quiet_NaN());
        }
        std::fill(frame.vectors.begin(), frame.vectors.end(), std::numeric_limits<float>::quiet_NaN());
    }
    if (vectorName.empty()) {
        std::fill(frame.vectors.begin(), frame.vectors.end(), 0.0f);
    }
    for (const std::unique_ptr<VtkXmlFile>& part : parts) {
        for (const VtkXmlPiece& piece : part->pieces) {
            placeFrame(*part, piece, frame);
        }
    }
}

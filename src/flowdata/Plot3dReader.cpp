#include "flowdata/Plot3dReader.h"

#include "diagnostics/Exception.h"
#include "diagnostics/Logger.h"
#include "flowdata/Plot3dFiles.h"
#include "flowdata/Plot3dMetaFile.h"
#include "flowdata/Plot3dValues.h"

#include <cmath>
#include <limits>
#include <sstream>

namespace {
const char* const openSource = "Plot3dReader::open()";
const char* const readSource = "Plot3dReader::read()";
const float hole = std::numeric_limits<float>::quiet_NaN();

std::string sizeText(const std::array<uint32_t, 3>& size)
{
    return std::to_string(size[0]) + "x" + std::to_string(size[1]) + "x" + std::to_string(size[2]);
}
} // namespace

bool Plot3dReader::recognises(const std::string&, const char* head, std::size_t headBytes)
{
    // Fortran records: the first holds a block count (4 bytes) or the sizes of
    // one block (8 to 16 bytes), with its length before and after it. C binary
    // and text files carry no such mark; the loader knows them by extension.
    for (bool big : {false, true}) {
        if (headBytes < 8) {
            break;
        }
        const int32_t length = Plot3dValues::integer(head, big);
        if ((length == 4 || length == 8 || length == 12 || length == 16) && headBytes >= std::size_t(length) + 8 &&
            Plot3dValues::integer(head + 4 + length, big) == length) {
            return true;
        }
    }
    return isMetaFile(head, headBytes);
}

bool Plot3dReader::isMetaFile(const char* head, std::size_t headBytes)
{
    const std::string text(head, headBytes);
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos || text[first] != '{') {
        return false;
    }
    for (const char* key : {"\"filenames\"", "\"auto-detect-format\"", "\"byte-order\"", "\"multi-grid\""}) {
        if (text.find(key) != std::string::npos) {
            return true;
        }
    }
    return false;
}

Plot3dReader::Plot3dReader(const std::string& path, const FlowReaderOptions& options)
{
    std::string gridPath = path;
    Plot3dHints hints;
    std::vector<Plot3dMetaFile::Step> steps;
    BinaryFile file;
    if (!file.open(path)) {
        TOOL_THROW(openSource, "Couldn't open " + path);
    }
    char head[512];
    if (Plot3dFiles::extension(path) == ".p3d" || isMetaFile(head, file.readAt(head, sizeof head, 0))) {
        Plot3dMetaFile meta(path);
        hints = meta.hints;
        gamma = meta.gamma;
        steps = meta.steps;
        gridPath = steps.front().grid;
        for (const Plot3dMetaFile::Step& step : steps) {
            if (!step.grid.empty() && step.grid != gridPath) {
                TOOL_THROW(openSource, path + " names more than one grid file; a grid that moves is not supported");
            }
        }
    } else {
        // A solution or function file opens with its grid and that grid's frames.
        if (Plot3dFiles::extension(path) == ".q" || Plot3dFiles::extension(path) == ".f") {
            gridPath = Plot3dFiles::gridOf(path);
        }
        for (const std::string& solution : Plot3dFiles::solutionsOf(gridPath)) {
            steps.push_back({std::nullopt, std::string(), solution, {}});
        }
    }
    grid = open(gridPath, file);
    const Plot3dStructure structure = Plot3dStructure::detect(file, gridPath, Plot3dKind::Grid, hints);
    for (const Plot3dBlock& block : structure.blocks) {
        blocks_.push_back(block.size);
    }
    if (options.block < 0 || std::size_t(options.block) >= blocks_.size()) {
        TOOL_THROW(openSource, gridPath + " has " + std::to_string(blocks_.size()) + " blocks; there is no block " +
                                   std::to_string(options.block));
    }
    shown = std::size_t(options.block);
    grid.variant = structure.variant;
    grid.block = structure.blocks[shown];
    nodes = std::size_t(grid.block.nodes);
    layout_.size = grid.block.size;
    layout_.layerNames = {"Density", "Pressure", "Stagnation energy"};
    if (grid.variant.blanked) {
        readHoles(file);
    }
    std::vector<double> times;
    for (const Plot3dMetaFile::Step& step : steps) {
        const double fileTime = addFrame(step.solution, step.functions, hints);
        times.push_back(step.time.value_or(fileTime));
    }
    if (times.size() > 1) {
        const double step = (times.back() - times.front()) / double(times.size() - 1);
        layout_.timestep = std::isfinite(step) && step > 0.0 ? static_cast<float>(step) : 0.0f;
    }
    logBlocks();
}

Plot3dReader::Part Plot3dReader::open(const std::string& path, BinaryFile& file) const
{
    if (!file.open(path)) {
        TOOL_THROW(openSource, "Couldn't open " + path);
    }
    Part part;
    part.path = path;
    part.stamp = file.stamp();
    return part;
}

double Plot3dReader::addFrame(const std::string& solution, const std::vector<std::string>& functions,
                              const Plot3dHints& hints)
{
    Frame frame;
    BinaryFile file;
    frame.solution = open(solution, file);
    const Plot3dStructure structure = Plot3dStructure::detect(file, solution, Plot3dKind::Solution, hints);
    if (structure.blocks.size() != blocks_.size() || structure.blocks[shown].size != grid.block.size ||
        structure.variant.dimensions != grid.variant.dimensions) {
        TOOL_THROW(openSource, solution + " does not match its grid " + grid.path + " (block " + std::to_string(shown) +
                                   ": " + sizeText(structure.blocks[shown].size) + " of " +
                                   std::to_string(structure.blocks.size()) + " blocks, grid " +
                                   sizeText(grid.block.size) + " of " + std::to_string(blocks_.size()) + ")");
    }
    frame.solution.variant = structure.variant;
    frame.solution.block = structure.blocks[shown];
    Plot3dValues conditions(file, solution, structure.variant, frame.solution.block.conditions);
    float values[4];
    conditions.reals(values, 4);
    std::size_t variables = 0;
    for (const std::string& path : functions) {
        BinaryFile functionFile;
        Part part = open(path, functionFile);
        const Plot3dStructure found = Plot3dStructure::detect(functionFile, path, Plot3dKind::Function, hints);
        if (found.blocks.size() != blocks_.size() || found.blocks[shown].size != grid.block.size) {
            TOOL_THROW(openSource, path + " does not match its grid " + grid.path);
        }
        part.variant = found.variant;
        part.block = found.blocks[shown];
        variables += part.block.variables;
        frame.functions.push_back(part);
    }
    if (frames.empty()) {
        for (std::size_t v = 0; v < variables; ++v) {
            layout_.layerNames.push_back("Function_" + std::to_string(v));
        }
    } else if (layout_.layerNames.size() != 3 + variables) {
        TOOL_THROW(openSource, solution + ": its function files hold " + std::to_string(variables) +
                                   " variables, the first frame's " + std::to_string(layout_.layerNames.size() - 3));
    }
    frames.push_back(frame);
    layout_.frameFiles.push_back(solution);
    return values[3];
}

void Plot3dReader::readHoles(const BinaryFile& file)
{
    Plot3dValues values(file, grid.path, grid.variant,
                        grid.block.data +
                            uint64_t(grid.variant.dimensions) * nodes *
                                (grid.variant.encoding == Plot3dEncoding::Ascii ? 1 : grid.variant.realBytes));
    std::vector<int32_t> blanks(nodes);
    values.integers(blanks.data(), nodes);
    holes.resize(nodes);
    for (std::size_t n = 0; n < nodes; ++n) {
        holes[n] = blanks[n] == 0;
    }
}

void Plot3dReader::logBlocks() const
{
    std::ostringstream details;
    details << grid.variant.describe();
    for (std::size_t b = 0; b < blocks_.size(); ++b) {
        details << "\n\t\t\t Block " << b << ": " << sizeText(blocks_[b]);
    }
    Tool::log("Plot3dReader::open()",
              "PLOT3D grid with " + std::to_string(blocks_.size()) + (blocks_.size() == 1 ? " block" : " blocks") +
                  ", showing block " + std::to_string(shown) + " .. [OK]",
              details.str());
}

void Plot3dReader::reopen(const Part& part, BinaryFile& file) const
{
    if (!file.open(part.path)) {
        TOOL_THROW(readSource, "Couldn't open " + part.path);
    }
    if (file.stamp() != part.stamp) {
        TOOL_THROW(readSource, part.path + " changed since it was opened");
    }
}

void Plot3dReader::readPositions(float* positions) const
{
    BinaryFile file;
    reopen(grid, file);
    Plot3dValues values(file, grid.path, grid.variant, grid.block.data);
    std::vector<float> axis(nodes, 0.0f);
    for (int d = 0; d < 3; ++d) {
        if (d < grid.variant.dimensions) {
            values.reals(axis.data(), nodes);
        } else {
            std::fill(axis.begin(), axis.end(), 0.0f);
        }
        for (std::size_t n = 0; n < nodes; ++n) {
            positions[3 * n + d] = axis[n];
        }
    }
}

void Plot3dReader::readFrame(std::size_t f, DataFrame& frame) const
{
    if (f >= frames.size() || frame.vectors.size() != 3 * nodes || frame.layers.size() != layout_.layerNames.size()) {
        TOOL_THROW(readSource, "Frame " + std::to_string(f) + " does not fit the data set");
    }
    for (const DataLayer& layer : frame.layers) {
        if (layer.values.size() != nodes) {
            TOOL_THROW(readSource, "Frame " + std::to_string(f) + " does not fit the data set");
        }
    }
    const Part& solution = frames[f].solution;
    BinaryFile file;
    reopen(solution, file);
    Plot3dValues values(file, solution.path, solution.variant, solution.block.data);
    float* density = frame.layers[0].values.data();
    float* scratch = frame.layers[1].values.data();
    float* energy = frame.layers[2].values.data();
    float* vectors = frame.vectors.data();
    values.reals(density, nodes);
    // Momentum over density, one component at a time through the pressure
    // layer, which is written last.
    const int dimensions = solution.variant.dimensions;
    for (int d = 0; d < 3; ++d) {
        if (d < dimensions) {
            values.reals(scratch, nodes);
        }
        for (std::size_t n = 0; n < nodes; ++n) {
            vectors[3 * n + d] = d < dimensions ? scratch[n] / density[n] : 0.0f;
        }
    }
    values.reals(energy, nodes);
    const float g = static_cast<float>(gamma - 1.0);
    for (std::size_t n = 0; n < nodes; ++n) {
        const float* u = vectors + 3 * n;
        scratch[n] = g * (energy[n] - 0.5f * density[n] * (u[0] * u[0] + u[1] * u[1] + u[2] * u[2]));
    }
    std::size_t layer = 3;
    for (const Part& part : frames[f].functions) {
        BinaryFile functionFile;
        reopen(part, functionFile);
        Plot3dValues functionValues(functionFile, part.path, part.variant, part.block.data);
        for (uint32_t v = 0; v < part.block.variables; ++v) {
            functionValues.reals(frame.layers[layer++].values.data(), nodes);
        }
    }
    if (!holes.empty()) {
        for (std::size_t n = 0; n < nodes; ++n) {
            if (holes[n]) {
                vectors[3 * n] = vectors[3 * n + 1] = vectors[3 * n + 2] = hole;
                for (DataLayer& each : frame.layers) {
                    each.values[n] = hole;
                }
            }
        }
    }
}

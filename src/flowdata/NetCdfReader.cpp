#include "flowdata/NetCdfReader.h"

#include "diagnostics/Exception.h"
#include "diagnostics/Logger.h"
#include "flowdata/CfAxis.h"

#include <cstring>

namespace {

const char* const source = "NetCdfReader::NetCdfReader()";

bool startsWith(const char* head, std::size_t headBytes, const char* magic, std::size_t bytes)
{
    return headBytes >= bytes && std::memcmp(head, magic, bytes) == 0;
}

} // namespace

bool NetCdfReader::recognises(const std::string&, const char* head, std::size_t headBytes)
{
    return startsWith(head, headBytes, "CDF\x01", 4) || startsWith(head, headBytes, "CDF\x02", 4) ||
           startsWith(head, headBytes, "CDF\x05", 4) || startsWith(head, headBytes, "\x89HDF\r\n\x1a\n", 8);
}

NetCdfReader::NetCdfReader(const std::string& path, const FlowReaderOptions&)
    : file(path), grid(file), coordinates(file, grid)
{
    layers.reserve(grid.variables.size());
    for (const NetCdfFile::Variable* v : grid.variables) {
        const int c = CfAxis::vectorComponent(v->name, file.text(v->id, "standard_name"));
        if (c >= 0 && !vector[static_cast<std::size_t>(c)]) {
            vector[static_cast<std::size_t>(c)] = std::make_unique<PackedVariable>(file, *v);
            continue;
        }
        layers.emplace_back(file, *v);
        layout_.layerNames.push_back(v->name);
    }
    std::string components;
    for (const auto& v : vector) {
        components += (components.empty() ? "" : ", ") + (v ? v->variable().name : std::string("0"));
    }
    Tool::log(source, "Vector: " + components);

    layout_.size = grid.size;
    layout_.frameFiles.assign(grid.frames, path);
    layout_.timestep = grid.timestep;
}

void NetCdfReader::readPositions(float* positions) const
{
    coordinates.positions(positions);
}

void NetCdfReader::read(const PackedVariable& v, std::size_t f, float* out, std::vector<double>& scratch) const
{
    const std::size_t rank = v.variable().dims.size();
    std::vector<std::size_t> start(rank), count(rank);
    grid.slab(v.variable(), f, start.data(), count.data());
    v.read(start.data(), count.data(), grid.nodes, out, scratch);
}

void NetCdfReader::readFrame(std::size_t f, DataFrame& frame) const
{
    if (f >= grid.frames) {
        TOOL_THROW("NetCdfReader::readFrame()", file.path() + " has no frame " + std::to_string(f));
    }
    std::vector<double> scratch;
    for (std::size_t l = 0; l < layers.size(); ++l) {
        read(layers[l], f, frame.layers[l].values.data(), scratch);
    }

    std::vector<float> component(vector[0] || vector[1] || vector[2] ? grid.nodes : 0);
    for (std::size_t c = 0; c < 3; ++c) {
        float* out = frame.vectors.data() + c;
        if (!vector[c]) {
            for (std::size_t n = 0; n < grid.nodes; ++n) {
                out[3 * n] = 0.0f;
            }
            continue;
        }
        read(*vector[c], f, component.data(), scratch);
        for (std::size_t n = 0; n < grid.nodes; ++n) {
            out[3 * n] = component[n];
        }
    }
}

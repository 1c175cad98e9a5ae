#include "support/DataSetBuilder.h"

#include "FlowWriter.h"
#include "support/TestFiles.h"

#include <cmath>
#include <limits>

namespace {

// Calls visit(i, j, k) for every node, x fastest, as the files hold them.
template <typename Visit> void eachNode(const DataSetBuilder& set, Visit visit)
{
    for (uint32_t k = 0; k < set.Z; ++k) {
        for (uint32_t j = 0; j < set.Y; ++j) {
            for (uint32_t i = 0; i < set.X; ++i) {
                visit(i, j, k);
            }
        }
    }
}

} // namespace

std::unique_ptr<FlowData> DataSetBuilder::build() const
{
    auto data = std::make_unique<FlowData>();
    data->size = {{X, Y, Z}};
    data->layerCount = layers;
    data->frameCount = frames;
    eachNode(*this, [&](uint32_t i, uint32_t j, uint32_t k) {
        for (float c : position(i, j, k)) {
            data->positions.push_back(c);
        }
    });
    for (int f = 0; f < frames; ++f) {
        DataFrame frame;
        frame.size = data->size;
        frame.layers.resize(size_t(layers));
        eachNode(*this, [&](uint32_t i, uint32_t j, uint32_t k) {
            for (float c : vector(f, i, j, k)) {
                frame.vectors.push_back(c);
            }
            for (int l = 0; l < layers; ++l) {
                frame.layers[size_t(l)].values.push_back(value(f, l, i, j, k));
            }
        });
        data->frames.push_back(frame);
    }
    // The speed range, as a load leaves it.
    data->speedMin = std::numeric_limits<float>::max();
    for (const DataFrame& frame : data->frames) {
        for (size_t n = 0; n + 2 < frame.vectors.size(); n += 3) {
            const float speed = std::hypot(frame.vectors[n], frame.vectors[n + 1], frame.vectors[n + 2]);
            data->speedMin = std::min(data->speedMin, speed);
            data->speedMax = std::max(data->speedMax, speed);
        }
    }
    return data;
}

std::string DataSetBuilder::write(const std::string& basePath, int headerFrames, float timestep) const
{
    FlowGenerator::Settings settings;
    settings.size = {{X, Y, Z}};
    settings.layers = layers;
    settings.frames = headerFrames;
    settings.timestep = timestep;
    std::vector<float> positions;
    eachNode(*this, [&](uint32_t i, uint32_t j, uint32_t k) {
        for (float c : position(i, j, k)) {
            positions.push_back(c);
        }
    });
    const std::string grid = basePath + ".gri";
    TestFiles::write(grid, FlowWriter::header(settings) + TestFiles::floatBytes(positions));
    for (int f = 0; f < frames; ++f) {
        std::vector<float> records;
        eachNode(*this, [&](uint32_t i, uint32_t j, uint32_t k) {
            for (float c : vector(f, i, j, k)) {
                records.push_back(c);
            }
            for (int l = 0; l < layers; ++l) {
                records.push_back(value(f, l, i, j, k));
            }
        });
        TestFiles::write(FlowWriter::frameFileName(basePath, f, frames), TestFiles::floatBytes(records));
    }
    return grid;
}

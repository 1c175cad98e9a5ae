#include "FlowWriter.h"

#include <algorithm>
#include <cstdio>
#include <locale>
#include <memory>
#include <sstream>

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool writeAll(std::FILE* file, const void* data, std::size_t bytes)
{
    return std::fwrite(data, 1, bytes, file) == bytes;
}

bool finish(File file)
{
    return std::fclose(file.release()) == 0;
}

// Nodes generated and written per block: a few megabytes at most.
constexpr uint64_t blockNodes = 1 << 16;

} // namespace

std::string FlowWriter::header(const FlowGenerator::Settings& settings)
{
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << "SN4DB " << settings.size[0] << ' ' << settings.size[1] << ' ' << settings.size[2] << ' ' << settings.layers
         << ' ' << settings.frames << ' ' << settings.timestep << '\n';
    std::string bytes = text.str();
    if (bytes.size() > 40) {
        return std::string();
    }
    bytes.resize(40, ' ');
    return bytes;
}

std::string FlowWriter::frameFileName(const std::string& basePath, int32_t frame, int32_t frameFiles)
{
    const std::size_t digits = std::max<std::size_t>(3, std::to_string(std::max(frameFiles - 1, 0)).size());
    std::string number = std::to_string(frame);
    number.insert(0, digits - std::min(digits, number.size()), '0');
    return basePath + "_" + number + ".dat";
}

uint64_t FlowWriter::dataSetBytes(const FlowGenerator& generator)
{
    const uint64_t nodes = generator.nodeCount();
    const uint64_t record = 4 * (3 + uint64_t(std::max(generator.settings().layers, 0)));
    return 40 + 12 * nodes + uint64_t(std::max(generator.frameFileCount(), 0)) * nodes * record;
}

bool FlowWriter::write(const std::string& basePath, const FlowGenerator& generator, std::string& error)
{
    const std::string headerBytes = header(generator.settings());
    if (headerBytes.empty()) {
        error = "the grid header does not fit in 40 bytes";
        return false;
    }
    const std::string gridPath = basePath + ".gri";
    File grid(std::fopen(gridPath.c_str(), "wb"));
    const std::vector<float> positions = generator.positions();
    if (!grid || !writeAll(grid.get(), headerBytes.data(), headerBytes.size()) ||
        !writeAll(grid.get(), positions.data(), positions.size() * sizeof(float)) || !finish(std::move(grid))) {
        error = "cannot write " + gridPath;
        return false;
    }

    const uint64_t nodes = generator.nodeCount();
    const uint64_t recordFloats = 3 + uint64_t(std::max(generator.settings().layers, 0));
    std::vector<float> block(std::min(nodes, blockNodes) * recordFloats);
    const int32_t files = generator.frameFileCount();
    for (int32_t frame = 0; frame < files; ++frame) {
        const std::string path = frameFileName(basePath, frame, files);
        File file(std::fopen(path.c_str(), "wb"));
        bool written = file != nullptr;
        for (uint64_t first = 0; written && first < nodes; first += blockNodes) {
            const uint64_t count = std::min(blockNodes, nodes - first);
            generator.records(frame, first, count, block.data());
            written = writeAll(file.get(), block.data(), count * recordFloats * sizeof(float));
        }
        if (!written || !finish(std::move(file))) {
            error = "cannot write " + path;
            return false;
        }
    }
    return true;
}

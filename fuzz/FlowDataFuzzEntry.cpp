#include "FlowDataFuzzEntry.h"

#include "FuzzFolder.h"
#include "diagnostics/Exception.h"
#include "flowdata/FlowData.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "flowdata fuzz: %s\n", what.c_str());
    std::abort();
}

// The bar must stay on the range the loader set.
class CheckedProgress : public LoadingProgress {
public:
    void setRange(int lower, int upper) override
    {
        low = lower;
        high = upper;
    }
    void setPosition(int position) override
    {
        if (position < low || position > high) {
            fail("progress " + std::to_string(position) + " off " + std::to_string(low) + " .. " +
                 std::to_string(high));
        }
    }
    void repaint() override {}

private:
    int low = 0;
    int high = 100;
};

void expectEmpty(const FlowData& data)
{
    if (data.getSize() || !data.positions.empty() || !data.name.empty() || !data.directory.empty()) {
        fail("a failed load left data behind");
    }
    try {
        data.frame(0);
    } catch (const Tool::Exception&) {
        return;
    }
    fail("a failed load left a frame behind");
}

void expectConsistent(const FlowData& data)
{
    if (data.frameCount == 0) {
        return;
    }
    const std::array<uint32_t, 3>* size = data.getSize();
    if (!size) {
        fail("loaded without a size");
    }
    const uint64_t nodes = uint64_t((*size)[0]) * (*size)[1] * (*size)[2];
    if (data.positions.size() != 3 * nodes) {
        fail("positions do not match the grid");
    }
    for (int32_t i = 0; i < data.frameCount; ++i) {
        const std::shared_ptr<const DataFrame> frame = data.frame(static_cast<std::size_t>(i));
        if (frame->size != *size || frame->vectors.size() != 3 * nodes ||
            frame->layers.size() != static_cast<std::size_t>(data.layerCount)) {
            fail("frame " + std::to_string(i) + " does not match the grid");
        }
        for (std::size_t l = 0; l < frame->layers.size(); ++l) {
            const DataLayer& layer = frame->layers[l];
            if (layer.size != *size || layer.nodeCount != nodes || layer.values.size() != nodes) {
                fail("layer " + std::to_string(l) + " of frame " + std::to_string(i) + " does not match the grid");
            }
            for (float v : layer.values) {
                if (!(v >= 0.0f && v <= 1.0f)) {
                    char value[32];
                    std::snprintf(value, sizeof value, "%.9g", v);
                    fail("layer " + std::to_string(l) + " of frame " + std::to_string(i) + " holds " + value);
                }
            }
        }
    }
}

} // namespace

int flowDataFuzzOneInput(const uint8_t* data, std::size_t size)
{
    static FuzzFolder folder;
    const std::string grid = folder.build(data, size);
    FlowData flow;
    CheckedProgress progress;
    try {
        flow.load(grid, progress);
    } catch (const Tool::Exception&) {
        expectEmpty(flow);
        return 0;
    } catch (const std::exception& e) {
        fail(std::string("not our exception: ") + e.what());
    } catch (...) {
        fail("not our exception");
    }
    expectConsistent(flow);
    return 0;
}

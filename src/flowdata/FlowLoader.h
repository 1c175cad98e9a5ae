#pragma once

#include "flowdata/FlowReader.h"
#include "flowdata/LoadingProgress.h"

#include <cstdint>
#include <memory>
#include <string>

class FlowData;
class FrameQueue;
class GridFileReader;

// Fills a FlowData from a data set's files through their format's reader:
// the grid, every frame measured on workers, the layers' common ranges, and
// the frame store that reads frames again on demand. Logs each step; every
// failure logs, leaves the set empty and throws Tool::Exception.
class FlowLoader {
public:
    FlowLoader(FlowData& data, LoadingProgress& dialog) : data(data), dialog(dialog) {}

    // Logs "Loading file PATH ..", then opens the file with its format's reader.
    void load(const std::string& path, const FlowReaderOptions& options);
    // Loads through a reader opened already for path.
    void load(const std::string& path, std::shared_ptr<FlowReader> reader);

private:
    std::shared_ptr<FlowReader> openReader(const std::string& path, const FlowReaderOptions& options);
    void readGrid(const FlowReader& reader, const std::string& path);
    void checkBudget();
    // Grid files: the frame files are measured by the queue's workers while
    // the grid is read, decoded on every core when they are shown.
    void loadGridFrames(const GridFileReader& reader, FrameQueue& queue);
    // Any other reader: each frame read whole on a worker and measured.
    void loadFrames(const FlowReader& reader);
    void startStore(std::shared_ptr<FlowReader> reader);
    void advance(float& position, float step);

    [[noreturn]] void fail(const std::string& line, std::string details, std::string text, int at);

    FlowData& data;
    LoadingProgress& dialog;
};

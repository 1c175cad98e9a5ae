#pragma once

#include "FlowDataFuzzEntry.h"
#include "FlowGenerator.h"
#include "FlowWriter.h"
#include "diagnostics/Exception.h"
#include "diagnostics/ThreadStart.h"
#include "flowdata/FieldExtremes.h"
#include "flowdata/FlowData.h"
#include "flowdata/FrameFiles.h"
#include "flowdata/FrameReader.h"
#include "flowdata/FrameStore.h"
#include "flowdata/GridHeader.h"
#include "flowdata/HistogramBin.h"
#include "flowdata/MemoryBudget.h"
#include "flowdata/Parallel.h"
#include "flowdata/StreamlineTracer.h"
#include "support/LogRecorder.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <future>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = boost::filesystem;

using Line = Tool::Message;

struct ProgressRecorder : LoadingProgress {
    std::vector<std::pair<int, int>> ranges;
    std::vector<int> positions;
    int repaints = 0;
    void setRange(int lower, int upper) override { ranges.emplace_back(lower, upper); }
    void setPosition(int position) override { positions.push_back(position); }
    void repaint() override { ++repaints; }
};

// Each test in a fresh folder, with everything logged while it runs recorded.
class FlowDataTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    static LogRecorder& recorder();

    std::string path(const std::string& name) const { return (folder / name).string(); }
    void writeBytes(const std::string& name, const std::string& bytes) const;

    // A 2x2x1 grid file named name with the given header numbers.
    void writeGrid(const std::string& name, const std::string& headerText, uint32_t nodes = 4) const;
    void writeFrame(const std::string& name, float layer0, uint32_t nodes = 4, int layers = 1) const;
    // Frame files run_0.dat on of four nodes and one layer, 64 bytes decoded,
    // with the stamps a load would have taken.
    std::vector<FrameStore::Source> writeFrames(int count) const;

    // Loads and returns the exception, or fails the test when none is thrown.
    Tool::Exception loadFailure(FlowData& data, const std::string& grid);

    static void expectEmpty(const FlowData& data);

    fs::path folder;
};

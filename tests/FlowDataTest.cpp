#include "FlowDataTest.h"

#include "diagnostics/Logger.h"
#include "support/TestFiles.h"

void FlowDataTest::SetUp()
{
    Tool::Logger& logger = Tool::Logger::instance();
    logger.enabled = true;
    logger.addListener(&recorder(), false);
    recorder().messages.clear();
    folder = fs::temp_directory_path() / fs::unique_path("quorvane-flowdata-%%%%-%%%%");
    fs::create_directories(folder);
}

void FlowDataTest::TearDown()
{
    boost::system::error_code ignored;
    fs::permissions(folder, fs::owner_all, ignored);
    fs::remove_all(folder, ignored);
}

LogRecorder& FlowDataTest::recorder()
{
    static LogRecorder instance;
    return instance;
}

void FlowDataTest::writeBytes(const std::string& name, const std::string& bytes) const
{
    TestFiles::write(path(name), bytes);
}

void FlowDataTest::writeGrid(const std::string& name, const std::string& headerText, uint32_t nodes) const
{
    writeBytes(name,
               TestFiles::header(headerText) + TestFiles::floatBytes(TestFiles::gridPositions(nodes, 1, 1, 1.0f)));
}

void FlowDataTest::writeFrame(const std::string& name, float layer0, uint32_t nodes, int layers) const
{
    writeBytes(name, TestFiles::frameBytes(nodes, layers, [&](int, uint32_t n) { return layer0 + float(n); }));
}

std::vector<FrameStore::Source> FlowDataTest::writeFrames(int count) const
{
    std::vector<FrameStore::Source> sources;
    for (int f = 0; f < count; ++f) {
        const std::string name = "run_" + std::to_string(f) + ".dat";
        writeFrame(name, float(f));
        BinaryFile file;
        EXPECT_TRUE(file.open(path(name)));
        sources.push_back({path(name), file.stamp()});
    }
    return sources;
}

Tool::Exception FlowDataTest::loadFailure(FlowData& data, const std::string& grid)
{
    ProgressRecorder progress;
    try {
        data.load(grid, progress);
    } catch (const Tool::Exception& e) {
        return e;
    }
    ADD_FAILURE() << "load of " << grid << " did not throw";
    return Tool::Exception("", "", "", 0);
}

void FlowDataTest::expectEmpty(const FlowData& data)
{
    EXPECT_EQ(data.getSize(), nullptr);
    EXPECT_TRUE(data.frames.empty());
    EXPECT_TRUE(data.positions.empty());
    EXPECT_TRUE(data.name.empty());
    EXPECT_TRUE(data.directory.empty());
    EXPECT_EQ(data.size, (std::array<uint32_t, 3>{{0, 0, 0}}));
}

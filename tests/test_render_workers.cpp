// The work the view hands to other threads: streamlines traced beside the
// paint, and what becomes of their failures.
#include "RenderTest.h"
#include "diagnostics/ThreadStart.h"
#include "render/StreamlineWorker.h"

namespace {

StreamlineWorker::Job jobFor(const FlowData& data, uint32_t frame, uint64_t id)
{
    StreamlineWorker::Job job;
    job.id = id;
    job.data = &data;
    job.positions = std::make_shared<const std::vector<float>>(data.positions);
    job.size = data.size;
    job.frame = frame;
    return job;
}

TEST(StreamlineWorkers, TraceOnTheCallersThreadWhenNoThreadStarts)
{
    Grid g{4, 4, 2};
    g.vector = [](int, uint32_t, uint32_t, uint32_t) { return Vec3{{0, 0.5f, 0}}; };
    const std::unique_ptr<FlowData> data = g.build();
    Tool::refuseThreads(true);
    StreamlineWorker worker([] {});
    Tool::refuseThreads(false);
    worker.request(jobFor(*data, 0, 1));
    StreamlineWorker::Result result;
    ASSERT_TRUE(worker.take(result));
    EXPECT_FALSE(result.first.empty());
}

TEST(StreamlineWorkers, AResultNotTakenKeepsItsFailuresForTheNext)
{
    const std::unique_ptr<FlowData> data = Grid{4, 4, 2}.build();
    StreamlineWorker worker([] {});
    for (uint32_t frame : {5, 6}) {
        worker.request(jobFor(*data, frame, frame));
        worker.wait();
    }
    StreamlineWorker::Result result;
    ASSERT_TRUE(worker.take(result));
    ASSERT_EQ(result.failures.size(), 2u);
    EXPECT_EQ(result.failures[0].details, "Frame 5 of 1");
    EXPECT_EQ(result.failures[1].details, "Frame 6 of 1");
}

TEST_F(RenderTest, AFrameThatCannotBeReadIsLoggedOncePerLoadByGlyphsAndStreamlines)
{
    namespace fs = boost::filesystem;
    const fs::path folder = fs::temp_directory_path() / fs::unique_path("quorvane-render-%%%%-%%%%");
    fs::create_directories(folder);
    Grid g{4, 4, 2};
    g.frames = 3;
    const std::string base = (folder / "cut").string();
    NoProgress progress;
    data = std::make_unique<FlowData>();
    ASSERT_NO_THROW(data->load(g.write(base, 2, 0.1f), progress));
    control().setFlowData(data.get());
    const std::string cut = FlowWriter::frameFileName(base, 1, 3);
    fs::resize_file(cut, 8);
    control().showGlyphs = true;
    control().showStreamlines = true;
    const size_t before = Tool::Logger::instance().history.size();
    for (uint32_t f : {1, 0, 1, 2, 1}) {
        control().currentFrame = f;
        render(control());
    }
    // Drawn once more: the lines of the last visit are taken now.
    render(control());
    const auto& history = Tool::Logger::instance().history;
    const std::string failure = "Couldn't read " + cut + ": the file is shorter than the grid needs";
    const auto logged = std::count_if(history.begin() + long(before), history.end(), [&](const Tool::Message& m) {
        return m.text == "FrameStore::frame()" && m.details == failure;
    });
    EXPECT_EQ(logged, 2); // the glyphs' and the streamlines'
    control().setFlowData(nullptr);
    fs::remove_all(folder);
}

} // namespace
